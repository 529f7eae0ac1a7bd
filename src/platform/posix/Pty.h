#pragma once

// A pseudo-terminal pair of a fixed size. Both ends are close-on-exec; a client gets the slave by dup2.

#include "UniqueHandle.h"

namespace snh {

struct Pty {
  UniqueHandle master;
  UniqueHandle slave;
};

// Raises with `label` on failure.
Pty OpenPty(unsigned short columns, unsigned short rows, const char* label);

}  // namespace snh
