#pragma once

// A pseudo-terminal pair. Both ends are close-on-exec; a client gets the slave by dup2.

#include "codec/Messages.h"
#include "platform/UniqueHandle.h"

namespace snh {

struct Pty {
  UniqueHandle master;
  UniqueHandle slave;
};

// Raises with `label` on failure.
Pty OpenPty(Coord size, const char* label);

// Sets the terminal's size; the kernel signals the change (SIGWINCH) to the terminal's foreground
// processes. Raises with `label` on failure.
void SetPtySize(NativeHandle master, Coord size, const char* label);

}  // namespace snh
