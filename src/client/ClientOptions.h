#pragma once

// The terminal client's command line, read as ssh reads its own: `ssh-native-host-cli [options]
// destination [command...]`. ssh's short options (bundled or not, values attached or apart) are kept
// in order for ssh; the client's own options are long ones ssh does not have and may stand among them.
// `--program PROGRAM` ends the options: the words after it are PROGRAM's arguments.

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/UsageError.h"
#include "codec/Messages.h"

namespace snh::client {

struct ClientOptions {
  std::optional<std::string> mode;  // absent: pseudo_console on a terminal, a console mode on a pipe
  std::optional<double> pollingIntervalInSeconds;
  std::optional<std::string> hostPath;  // absent: the host next to the client's own executable
  std::optional<std::string> program;   // absent: ssh, or the user's shell when there are no arguments
  std::vector<std::string> arguments;
  std::optional<std::string> destination;  // ssh's destination, when one was given
  std::optional<char> escapeCharacter = '~';
  bool ttyChosen = false;  // ssh's -t or -T was given
  bool quiet = false;
  bool json = false;
};

enum class ClientAction { kRun, kShowHelp, kShowVersion };

struct ParsedCommandLine {
  ClientAction action = ClientAction::kRun;
  ClientOptions options;
};

// `arguments` excludes the program name. Throws UsageError.
ParsedCommandLine ParseCommandLine(std::span<const std::string> arguments);

std::string UsageText();

struct ClientProgram {
  std::string fileName;
  std::vector<std::string> arguments;
};

// Without --program: ssh with the arguments, or `shell` when there are no arguments. ssh gets -T when
// its input is no terminal (the console modes) and neither -t nor -T was given, as ssh itself decides.
ClientProgram ResolveProgram(const ClientOptions& options, const std::string& shell, bool programHasTerminal);

// The mode asked for, else pseudo_console on a terminal and, on a pipe, a console mode: its output
// arrives as the program's own bytes and closeStdin ends its input.
std::string ResolveMode(const ClientOptions& options, bool inputIsTerminal);

nlohmann::json ConnectRequest(const ClientOptions& options, const std::string& mode,
                              const ClientProgram& program);

}  // namespace snh::client
