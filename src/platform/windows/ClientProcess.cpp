#include "ClientProcess.h"

#include "OsError.h"
#include "PseudoConsole.h"
#include "session/CommandLine.h"

namespace snh {

namespace {

// Standard handles named, and no busy cursor while the client starts.
constexpr DWORD kStartupFlags = STARTF_USESTDHANDLES | STARTF_FORCEOFFFEEDBACK;

std::wstring CommandLineFor(const ConnectParams& params) {
  const std::u16string line = BuildCommandLine(params.fileName, params.arguments);
  return std::wstring(line.begin(), line.end());
}

void NameStandardHandles(STARTUPINFOW& info, const ChildStdio& stdio) {
  info.dwFlags = kStartupFlags;
  info.hStdInput = stdio.input;
  info.hStdOutput = stdio.output;
  info.hStdError = stdio.error;
}

}  // namespace

ClientProcess ClientProcess::StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                                  const ChildStdio& stdio) {
  std::wstring commandLine = CommandLineFor(params);
  PseudoConsoleAttributeList attributes(console.handle());
  STARTUPINFOEXW info{};
  info.StartupInfo.cb = sizeof info;
  info.lpAttributeList = attributes.get();
  // Naming the standard handles keeps the client from inheriting the host's own redirected handles,
  // which would let its output bypass the pseudo console and reach the browser's pipe.
  NameStandardHandles(info.StartupInfo, stdio);
  PROCESS_INFORMATION started{};
  const BOOL ok =
      CreateProcessW(/*lpApplicationName=*/nullptr, commandLine.data(), /*lpProcessAttributes=*/nullptr,
                     /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/FALSE, EXTENDED_STARTUPINFO_PRESENT,
                     /*lpEnvironment=*/nullptr,
                     /*lpCurrentDirectory=*/nullptr, &info.StartupInfo, &started);
  const DWORD error = ok ? 0 : GetLastError();
  attributes.Free();
  if (!ok) RaiseSystemError("CreateProcess", error);
  return ClientProcess(UniqueHandle(started.hProcess), UniqueHandle(started.hThread), started.dwProcessId);
}

ClientProcess ClientProcess::StartInConsole(const ConnectParams& params, const ConsoleScreen& /*console*/,
                                            const ChildStdio& stdio) {
  std::wstring commandLine = CommandLineFor(params);
  STARTUPINFOW info{};
  info.cb = sizeof info;
  NameStandardHandles(info, stdio);
  PROCESS_INFORMATION started{};
  // No creation flags: the client attaches to the host's console and its active screen buffer.
  if (!CreateProcessW(/*lpApplicationName=*/nullptr, commandLine.data(), /*lpProcessAttributes=*/nullptr,
                      /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/TRUE, /*dwCreationFlags=*/0,
                      /*lpEnvironment=*/nullptr, /*lpCurrentDirectory=*/nullptr, &info, &started)) {
    RaiseLastError("CreateProcess");
  }
  return ClientProcess(UniqueHandle(started.hProcess), UniqueHandle(started.hThread), started.dwProcessId);
}

bool ClientProcess::HasExited() const { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }

void ClientProcess::TerminateAndWait() noexcept {
  // Fails harmlessly when the client has already ended.
  TerminateProcess(process_.get(), /*uExitCode=*/0);
  WaitForSingleObject(process_.get(), INFINITE);
}

}  // namespace snh
