#pragma once

// The three pipes of a client's standard streams. The client's ends are inheritable, the session's not.

#include "UniqueHandle.h"

namespace snh {

struct ChildPipes {
  UniqueHandle stderrRead, stderrWrite;
  UniqueHandle stdoutRead, stdoutWrite;
  UniqueHandle stdinRead, stdinWrite;
};

ChildPipes CreateChildPipes();

}  // namespace snh
