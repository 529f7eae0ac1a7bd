// Starts a program the way Firefox starts a native host on Windows: CreateProcessW with CREATE_NO_WINDOW (so
// the host gets a hidden console of its own) and anonymous pipes passed through STARTF_USESTDHANDLES.

#include <windows.h>

#include <mutex>
#include <utility>

#include "client/ChildProcess.h"
#include "codec/CommandLine.h"
#include "codec/WideText.h"
#include "platform/ChildPipes.h"
#include "platform/OsError.h"
#include "platform/Wait.h"

namespace snh::client {

struct ChildProcess::State {
  UniqueHandle process;
};

void ChildProcess::StateDeleter::operator()(State* state) const { delete state; }

ChildProcess::Started ChildProcess::Start(const std::string& program,
                                          const std::vector<std::string>& arguments) {
  // Inheritable pipe ends exist only while this lock is held, so a start on another thread cannot pass
  // them to the wrong child.
  static std::mutex startMutex;
  std::lock_guard lock(startMutex);

  ChildPipes pipes = CreateChildPipes();

  std::wstring commandLine = ToWide(BuildCommandLine(program, arguments));

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = pipes.stdinRead.get();
  startup.hStdOutput = pipes.stdoutWrite.get();
  startup.hStdError = pipes.stderrWrite.get();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &info)) {
    const DWORD failure = GetLastError();
    RaiseSystemError("cannot start " + program + ": CreateProcessW", failure);
  }
  UniqueHandle thread(info.hThread);
  // The child's ends are released here (with the pipes), so end of stream follows the child's exit.
  return {StatePointer(new State{UniqueHandle(info.hProcess)}), std::move(pipes.stdinWrite),
          std::move(pipes.stdoutRead), std::move(pipes.stderrRead)};
}

unsigned long ChildProcess::ProcessId() const { return GetProcessId(process_->process.get()); }

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (WaitForHandle(process_->process.get(), nullptr, timeout) != WaitOutcome::kReady) return std::nullopt;
  DWORD status = 0;
  GetExitCodeProcess(process_->process.get(), &status);
  return static_cast<int>(status);
}

void ChildProcess::Kill() {
  TerminateProcess(process_->process.get(), 1);
  WaitForHandle(process_->process.get(), nullptr);
}

}  // namespace snh::client
