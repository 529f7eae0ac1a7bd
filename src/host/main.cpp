// The host's entry point. Browsers' arguments (the extension's origin, a parent window, Firefox's
// manifest path and extension id) are ignored; only --help or --version first is an option.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/DiagnosticLog.h"
#include "codec/JsonModule.h"
#include "host/HostCommandLine.h"
#include "host/RequestDispatcher.h"
#include "platform/ExecutableVersion.h"
#include "platform/LogFile.h"
#include "platform/StandardStreams.h"
#include "session/SshModule.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "codec/WideText.h"
#else
#include <unistd.h>
#endif

namespace {

// What main learns from the system it runs on.
struct HostStart {
  std::vector<std::string> arguments;
  std::optional<std::filesystem::path> logFile;
  unsigned long processId = 0;
  const char* platform = "";
  bool inputIsTerminal = false;
};

void StartLog(const HostStart& start, const std::string& version) {
  if (!start.logFile || start.logFile->empty()) return;
  if (!snh::OpenDiagnosticLog(snh::OpenLogFile(*start.logFile), "pid " + std::to_string(start.processId))) {
    // Standard error is not the protocol's channel; a browser keeps or drops it.
    std::fprintf(stderr, "ssh-native-host: cannot open the log file named by %s; logging nothing\n",
                 snh::kLogVariable);
    return;
  }
  snh::LogDiagnostic(
      "start: ssh-native-host {} on {}, arguments {}", version, start.platform,
      nlohmann::json(start.arguments).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

int RunHost(const HostStart& start) {
  switch (snh::ParseHostArguments(start.arguments)) {
    case snh::HostAction::kShowHelp:
      std::fputs(snh::HostHelpText().c_str(), stdout);
      return 0;
    case snh::HostAction::kShowVersion:
      std::printf("ssh-native-host %s\n", snh::GetExecutableVersion().c_str());
      return 0;
    case snh::HostAction::kServe:
      break;
  }
  if (start.arguments.empty() && start.inputIsTerminal) std::fputs(snh::kTerminalHint, stderr);

  snh::PrepareStandardStreams();
  StartLog(start, snh::GetExecutableVersion());
  snh::StandardInput input;
  snh::StandardOutput output;
  snh::JsonModule json(output);
  {
    // The session and all its threads end before the output channel they write to.
    snh::SshModule session(json);
    snh::RunRequestLoop(input, json, session, &snh::GetExecutableVersion);
    snh::LogDiagnostic("end: requests over; ending the client");
  }
  snh::LogDiagnostic("end: host exits");
  snh::CloseDiagnosticLog();
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  HostStart start;
  for (int i = 1; i < argc; ++i) start.arguments.push_back(snh::ToUtf8(std::wstring_view(argv[i])));
  const std::wstring logVariable = snh::ToWide(snh::kLogVariable);
  if (const wchar_t* log = _wgetenv(logVariable.c_str())) start.logFile = std::filesystem::path(log);
  // The log is the host's: its clients never see the variable (a client inherits the system's copy).
  SetEnvironmentVariableW(logVariable.c_str(), nullptr);
  start.processId = GetCurrentProcessId();
  start.platform = "Windows";
  start.inputIsTerminal = _isatty(_fileno(stdin)) != 0;
  return RunHost(start);
}
#else
int main(int argc, char** argv) {
  HostStart start;
  start.arguments.assign(argv + 1, argv + argc);
  if (const char* log = std::getenv(snh::kLogVariable)) start.logFile = std::filesystem::path(log);
  // The log is the host's: its clients never see the variable. Removed before any thread starts.
  unsetenv(snh::kLogVariable);
  start.processId = static_cast<unsigned long>(getpid());
  start.platform = "Linux";
  start.inputIsTerminal = isatty(STDIN_FILENO) != 0;
  return RunHost(start);
}
#endif
