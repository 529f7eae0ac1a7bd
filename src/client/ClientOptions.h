#pragma once

// The terminal client's command line: `ssh-native-host-cli [options] [--] [arguments...]`. Options
// come first; the first word that is not one (or `--`) starts the client program's arguments, so ssh's
// own options such as `-p` pass through untouched. `--program PROGRAM` ends the options too: the words
// after it are PROGRAM's arguments.

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/UsageError.h"
#include "codec/Messages.h"

namespace snh::client {

struct ClientOptions {
  std::string mode{modes::kPseudoConsole};
  std::optional<double> pollingIntervalInSeconds;
  std::optional<std::string> hostPath;  // absent: the host next to the client's own executable
  std::optional<std::string> program;   // absent: ssh, or the user's shell when there are no arguments
  std::vector<std::string> arguments;
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

// Without --program: ssh with the arguments, or `shell` (no arguments) when none were given.
ClientProgram ResolveProgram(const ClientOptions& options, const std::string& shell);

nlohmann::json ConnectRequest(const ClientOptions& options, const ClientProgram& program);

}  // namespace snh::client
