#pragma once

// A pseudo-terminal pair of a fixed size. Both ends are close-on-exec; a client gets the slave by dup2.

#include "codec/Messages.h"
#include "platform/UniqueHandle.h"

namespace snh {

struct Pty {
  UniqueHandle master;
  UniqueHandle slave;
};

// Raises with `label` on failure.
Pty OpenPty(Coord size, const char* label);

}  // namespace snh
