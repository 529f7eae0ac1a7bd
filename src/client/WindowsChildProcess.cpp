// Starts a program the way Firefox starts a native host on Windows: CreateProcessW with CREATE_NO_WINDOW (so
// the host gets a hidden console of its own) and anonymous pipes passed through STARTF_USESTDHANDLES.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <utility>

#include "client/ChildProcess.h"
#include "codec/CommandLine.h"
#include "codec/WideText.h"
#include "platform/ChildPipes.h"
#include "platform/OsError.h"
#include "platform/PipeIo.h"

namespace snh::client {
namespace {

std::size_t ReadPipe(HANDLE pipe, std::span<char> buffer) {
  DWORD count = 0;
  if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr)) return 0;
  return count;
}

class WindowsChildProcess final : public ChildProcess {
 public:
  WindowsChildProcess(UniqueHandle process, UniqueHandle input, UniqueHandle output, UniqueHandle error)
      : process_(std::move(process)),
        input_(std::move(input)),
        inputToCancel_(input_.get()),
        output_(std::move(output)),
        error_(std::move(error)) {}

  ~WindowsChildProcess() override {
    if (!WaitForExit(std::chrono::milliseconds(0))) Kill();
  }

  bool WriteInput(std::string_view bytes) override {
    std::lock_guard lock(inputMutex_);
    if (!input_ || bytes.empty()) return bytes.empty();
    return WriteWhole(input_.get(), bytes).outcome == WriteOutcome::kDone;
  }

  void CloseInput() override {
    std::lock_guard lock(inputMutex_);
    inputToCancel_ = nullptr;
    input_.reset();
  }

  void CloseOutput() override { output_.reset(); }
  unsigned long ProcessId() const override { return GetProcessId(process_.get()); }

  std::size_t ReadOutput(std::span<char> buffer) override { return ReadPipe(output_.get(), buffer); }
  std::size_t ReadError(std::span<char> buffer) override { return ReadPipe(error_.get(), buffer); }

  void CancelPendingIo() override {
    if (HANDLE input = inputToCancel_.load()) CancelIoEx(input, nullptr);
    CancelIoEx(output_.get(), nullptr);
    CancelIoEx(error_.get(), nullptr);
  }

  std::optional<int> WaitForExit(std::chrono::milliseconds timeout) override {
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
      return std::nullopt;
    }
    DWORD status = 0;
    GetExitCodeProcess(process_.get(), &status);
    return static_cast<int>(status);
  }

  void Kill() override {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), INFINITE);
  }

 private:
  UniqueHandle process_;
  std::mutex inputMutex_;
  UniqueHandle input_;
  std::atomic<HANDLE> inputToCancel_;  // cancelling must not wait for a writer that holds the mutex
  UniqueHandle output_;
  UniqueHandle error_;
};

}  // namespace

std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
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
  return std::make_unique<WindowsChildProcess>(UniqueHandle(info.hProcess), std::move(pipes.stdinWrite),
                                               std::move(pipes.stdoutRead), std::move(pipes.stderrRead));
}

}  // namespace snh::client
