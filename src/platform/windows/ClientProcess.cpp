#include "platform/ClientProcess.h"

#include <windows.h>

#include "codec/CommandLine.h"
#include "codec/WideText.h"
#include "platform/ConsoleScreen.h"
#include "platform/OsError.h"
#include "platform/PseudoConsole.h"
#include "platform/Wait.h"
#include "platform/windows/AttributeList.h"

namespace snh {

struct ClientProcess::State {
  // Kills what is left in it when closed: the client cannot outlive the host, even a killed one.
  UniqueHandle job;
  UniqueHandle process;
};

namespace {

// Standard handles named, and no busy cursor while the client starts.
constexpr DWORD kStartupFlags = STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;

std::wstring CommandLineFor(const ConnectParams& params) {
  return ToWide(BuildClientCommandLine(params.fileName, params.arguments));
}

// The system's own cmd.exe, never one found in the current folder or on PATH.
std::wstring CommandInterpreterPath() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) RaiseLastError("GetSystemDirectory");
  return std::wstring(folder, length) + L"\\cmd.exe";
}

UniqueHandle CreateKillOnCloseJob() {
  UniqueHandle job(CreateJobObjectW(/*lpJobAttributes=*/nullptr, /*lpName=*/nullptr));
  if (!job) RaiseLastError("CreateJobObject");
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    RaiseLastError("SetInformationJobObject");
  }
  return job;
}

// Starts the client in `pseudoConsole`, or without one in the host's console.
ClientProcess Start(const ConnectParams& params, const ChildStdio& stdio, HPCON pseudoConsole) {
  std::wstring commandLine = CommandLineFor(params);
  const std::wstring interpreter = IsBatchFile(params.fileName) ? CommandInterpreterPath() : std::wstring();
  UniqueHandle job = CreateKillOnCloseJob();
  HANDLE jobs[] = {job.get()};
  HANDLE inherited[] = {stdio.input, stdio.output, stdio.error};
  const bool inConsole = pseudoConsole == nullptr;

  // In the job from its first instruction, so it cannot start anything outside it.
  AttributeList attributes(/*count=*/2);
  attributes.Set(PROC_THREAD_ATTRIBUTE_JOB_LIST, jobs, sizeof jobs);
  if (inConsole) {
    // Exactly the three pipe ends, not every inheritable handle the host holds.
    attributes.Set(PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited);
  } else {
    // This attribute takes the handle value itself where the value pointer goes.
    attributes.Set(PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, pseudoConsole, sizeof pseudoConsole);
  }
  STARTUPINFOEXW info{};
  info.StartupInfo.cb = sizeof info;
  info.lpAttributeList = attributes.get();
  info.StartupInfo.dwFlags = kStartupFlags;
  if (inConsole) {
    info.StartupInfo.hStdInput = stdio.input;
    info.StartupInfo.hStdOutput = stdio.output;
    info.StartupInfo.hStdError = stdio.error;
  }
  // In the pseudo console the flag stays and the handles stay NULL. Without the flag the client would
  // get copies of the host's own standard handles, the browser's channel. Named pipe ends would not be
  // inherited (handles are not, there), so since Windows 8 the client would hold their bare values, and
  // only console handles are replaced by the pseudo console's. NULL ones are: the client's standard
  // handles are then the pseudo console, as for a program started in a terminal.
  PROCESS_INFORMATION started{};
  // No other creation flag: in the console modes the client attaches to the host's console.
  const BOOL ok =
      CreateProcessW(interpreter.empty() ? nullptr : interpreter.c_str(), commandLine.data(),
                     /*lpProcessAttributes=*/nullptr, /*lpThreadAttributes=*/nullptr,
                     /*bInheritHandles=*/inConsole, EXTENDED_STARTUPINFO_PRESENT,
                     /*lpEnvironment=*/nullptr, /*lpCurrentDirectory=*/nullptr, &info.StartupInfo, &started);
  const DWORD error = ok ? 0 : GetLastError();
  attributes.Free();
  if (!ok) RaiseSystemError("CreateProcess", error);
  // The client's first thread is never used: its handle is closed at once.
  const UniqueHandle firstThread(started.hThread);
  return ClientProcess(
      std::make_unique<ClientProcess::State>(std::move(job), UniqueHandle(started.hProcess)));
}

}  // namespace

ClientProcess::ClientProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}

ClientProcess::ClientProcess(ClientProcess&& other) noexcept = default;

ClientProcess::~ClientProcess() = default;

ClientProcess ClientProcess::StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                                  const ChildStdio& stdio) {
  return Start(params, stdio, console.clientSide());
}

ClientProcess ClientProcess::StartInConsole(const ConnectParams& params, const ConsoleScreen& console,
                                            const ChildStdio& stdio) {
  // Where the client's console output goes.
  SetConsoleActiveScreenBuffer(console.clientSide());
  return Start(params, stdio, /*pseudoConsole=*/nullptr);
}

NativeHandle ClientProcess::handle() const { return state_->process.get(); }

bool ClientProcess::HasExited() const {
  return WaitForHandle(state_->process.get(), nullptr, std::chrono::milliseconds(0)) == WaitOutcome::kReady;
}

std::optional<std::int64_t> ClientProcess::ExitCode() const {
  DWORD code = 0;
  if (!HasExited() || !GetExitCodeProcess(state_->process.get(), &code)) return std::nullopt;
  return code;
}

void ClientProcess::TerminateAndWait() noexcept {
  // The job also holds everything the client started, which cannot leave it. Both calls fail
  // harmlessly when their processes have already ended. Exit code 1, as `taskkill /f` leaves it.
  constexpr UINT kTerminatedExitCode = 1;
  TerminateJobObject(state_->job.get(), kTerminatedExitCode);
  TerminateProcess(state_->process.get(), kTerminatedExitCode);
  WaitForHandle(state_->process.get(), nullptr);
}

}  // namespace snh
