#include "platform/ChildPipes.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/OsError.h"

namespace snh {

namespace {

void CreatePipe(UniqueHandle& read, UniqueHandle& write, const char* label) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) RaiseLastError(label);
  read.reset(ends[0]);
  write.reset(ends[1]);
}

}  // namespace

ChildPipes CreateChildPipes() {
  ChildPipes pipes;
  CreatePipe(pipes.stderrRead, pipes.stderrWrite, "CreatePipe child stderr");
  CreatePipe(pipes.stdoutRead, pipes.stdoutWrite, "CreatePipe child stdout");
  CreatePipe(pipes.stdinRead, pipes.stdinWrite, "CreatePipe child stdin");
  return pipes;
}

}  // namespace snh
