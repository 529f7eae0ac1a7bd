#pragma once

// The three pipes of a client's standard streams. Every end is close-on-exec; the client gets its
// three ends by dup2, which clears the flag on the copies.

#include "UniqueHandle.h"

namespace snh {

struct ChildPipes {
  UniqueHandle stderrRead, stderrWrite;
  UniqueHandle stdoutRead, stdoutWrite;
  UniqueHandle stdinRead, stdinWrite;
};

ChildPipes CreateChildPipes();

}  // namespace snh
