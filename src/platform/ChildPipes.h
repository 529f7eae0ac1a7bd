#pragma once

// The three pipes of a client's standard streams. Only the client's three ends ever reach a client:
// on Windows the session's ends are not inheritable; on POSIX every end is close-on-exec and the client
// gets its ends by dup2.

#include "platform/UniqueHandle.h"

namespace snh {

struct ChildPipes {
  UniqueHandle stderrRead, stderrWrite;
  UniqueHandle stdoutRead, stdoutWrite;
  UniqueHandle stdinRead, stdinWrite;
};

// Raises "CreatePipe child <stream> failed. ..." (or the SetHandleInformation form) on failure.
ChildPipes CreateChildPipes();

}  // namespace snh
