// ssh-native-host-cli: a terminal session through ssh-native-host, started as a browser starts it.

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/ClientOptions.h"
#include "client/ClientSession.h"
#include "client/LocalConsole.h"
#include "client/MessagePresenter.h"

#ifdef _WIN32
#include "codec/WideText.h"
#endif

namespace {

constexpr std::string_view kProgram = "ssh-native-host-cli";

int RunClient(const std::vector<std::string>& arguments) {
  using namespace snh::client;
  std::unique_ptr<LocalConsole> console;
  try {
    console = std::make_unique<LocalConsole>();
  } catch (const std::exception& failure) {
    std::fputs(ErrorLine(kProgram, failure.what(), "\n").c_str(), stderr);
    return 1;
  }
  ParsedCommandLine parsed;
  try {
    parsed = ParseCommandLine(arguments);
  } catch (const snh::UsageError& error) {
    console->WriteError(ErrorLine(kProgram, error.what(), "\nTry --help.\n"));
    return 2;
  }
  switch (parsed.action) {
    case ClientAction::kShowHelp:
      console->WriteOutput(UsageText());
      return 0;
    case ClientAction::kShowVersion:
      console->WriteOutput("ssh-native-host-cli " SNH_VERSION "\n");
      return 0;
    case ClientAction::kRun:
      break;
  }
  try {
    return RunClientSession(parsed.options, *console);
  } catch (const std::exception& failure) {
    // The console's destructor puts the terminal back before this is seen.
    const std::string text = ErrorLine(kProgram, failure.what(), "\n");
    console.reset();
    std::fputs(text.c_str(), stderr);
    return 1;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(snh::ToUtf8(std::wstring_view(argv[i])));
  }
  return RunClient(arguments);
}
#else
int main(int argc, char** argv) { return RunClient(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
