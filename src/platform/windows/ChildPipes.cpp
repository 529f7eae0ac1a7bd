#include "platform/ChildPipes.h"

#include <windows.h>

#include "platform/OsError.h"

namespace snh {

namespace {

void CreateInheritablePipe(UniqueHandle& read, UniqueHandle& write, const char* createLabel) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, /*lpSecurityDescriptor=*/nullptr,
                                 /*bInheritHandle=*/TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &attributes, /*nSize=*/0)) RaiseLastError(createLabel);
  read.reset(readEnd);
  write.reset(writeEnd);
}

void KeepFromClient(const UniqueHandle& sessionEnd, const char* label) {
  if (!SetHandleInformation(sessionEnd.get(), HANDLE_FLAG_INHERIT, 0)) RaiseLastError(label);
}

}  // namespace

ChildPipes CreateChildPipes() {
  ChildPipes pipes;
  CreateInheritablePipe(pipes.stderrRead, pipes.stderrWrite, "CreatePipe child stderr");
  KeepFromClient(pipes.stderrRead, "SetHandleInformation child stderr");
  CreateInheritablePipe(pipes.stdoutRead, pipes.stdoutWrite, "CreatePipe child stdout");
  KeepFromClient(pipes.stdoutRead, "SetHandleInformation child stdout");
  CreateInheritablePipe(pipes.stdinRead, pipes.stdinWrite, "CreatePipe child stdin");
  KeepFromClient(pipes.stdinWrite, "SetHandleInformation child stdin");
  return pipes;
}

}  // namespace snh
