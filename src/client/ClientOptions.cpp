#include "client/ClientOptions.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace snh::client {
namespace {

constexpr std::array<std::string_view, 3> kModes = {modes::kPseudoConsole, modes::kConsoleWithPolling,
                                                    modes::kConsoleWithoutPolling};

double ParseSeconds(const std::string& text) {
  double seconds = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seconds);
  if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(seconds) || seconds < 0) {
    throw UsageError("--polling-interval takes a number of seconds, not \"" + text + "\"");
  }
  return seconds;
}

std::string CheckedMode(const std::string& mode) {
  for (std::string_view known : kModes) {
    if (mode == known) return mode;
  }
  throw UsageError(
      fmt::format("unknown mode \"{}\"; choose {}, {} or {}", mode, kModes[0], kModes[1], kModes[2]));
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> arguments) {
  ParsedCommandLine parsed;
  ClientOptions& options = parsed.options;
  std::size_t next = 0;

  // Both `--name value` and `--name=value`.
  auto valueOf = [&](std::string_view name, const std::string& word) -> std::string {
    if (word.size() > name.size() && word[name.size()] == '=') return word.substr(name.size() + 1);
    if (next >= arguments.size()) throw UsageError(std::string(name) + " needs a value");
    return arguments[next++];
  };
  auto is = [](const std::string& word, std::string_view name) {
    return word == name || (word.starts_with(name) && word.size() > name.size() && word[name.size()] == '=');
  };

  while (next < arguments.size()) {
    const std::string& word = arguments[next];
    if (word == "--") {
      ++next;
      break;
    }
    if (word.empty() || word[0] != '-' || word == "-") break;
    ++next;
    if (word == "-h" || word == "--help") {
      parsed.action = ClientAction::kShowHelp;
      return parsed;
    }
    if (word == "-V" || word == "--version") {
      parsed.action = ClientAction::kShowVersion;
      return parsed;
    }
    if (word == "--json") {
      options.json = true;
    } else if (word == "-m") {
      options.mode = CheckedMode(valueOf("-m", word));
    } else if (is(word, "--mode")) {
      options.mode = CheckedMode(valueOf("--mode", word));
    } else if (is(word, "--host")) {
      options.hostPath = valueOf("--host", word);
    } else if (is(word, "--program")) {
      options.program = valueOf("--program", word);
      if (options.program->empty()) throw UsageError("--program needs a program");
      // Its arguments follow at once, options of its own included.
      if (next < arguments.size() && arguments[next] == "--") ++next;
      break;
    } else if (is(word, "--polling-interval")) {
      options.pollingIntervalInSeconds = ParseSeconds(valueOf("--polling-interval", word));
    } else {
      throw UsageError("unknown option \"" + word + "\"; the client program's own options go after --");
    }
  }
  options.arguments.assign(arguments.begin() + static_cast<std::ptrdiff_t>(next), arguments.end());
  return parsed;
}

ClientProgram ResolveProgram(const ClientOptions& options, const std::string& shell) {
  if (options.program) return {*options.program, options.arguments};
  if (options.arguments.empty()) return {shell, {}};
  return {"ssh", options.arguments};
}

nlohmann::json ConnectRequest(const ClientOptions& options, const ClientProgram& program) {
  nlohmann::json params = {
      {"fileName", program.fileName}, {"arguments", program.arguments}, {"mode", options.mode}};
  if (options.pollingIntervalInSeconds)
    params["pollingIntervalInSeconds"] = *options.pollingIntervalInSeconds;
  return {{"type", "connect"}, {"connectParams", std::move(params)}};
}

std::string UsageText() {
  return R"(Usage: ssh-native-host-cli [options] [--] [ssh-arguments...]
  or:  ssh-native-host-cli [options] --program PROGRAM [--] [arguments...]

Starts ssh-native-host as a browser does, has it run an SSH client (or another program) and connects
this terminal to it. With no program and no arguments it runs your shell ($SHELL, else /bin/sh; on
Windows %ComSpec%), so it works without an SSH server.

Options (before the first argument that is not one):
  -m, --mode MODE             pseudo_console (default), windows_console_with_polling or
                              windows_console_without_polling
      --program PROGRAM ...   run PROGRAM instead of ssh, with all the arguments that follow
                              (so it comes last)
      --host PATH             the host executable (default: ssh-native-host next to this program)
      --polling-interval SEC  console polling interval, with windows_console_with_polling
      --json                  print every message of the host as one line of JSON, as received
                              (but the answer to the client's own getCapabilities)
  -h, --help                  show this text
  -V, --version               show the version

Keys: everything typed goes to the program as it is typed; Ctrl-] ends the session. In
pseudo_console mode the terminal is in raw mode; in the console modes lines are sent when Enter
is pressed (so Ctrl-] then Enter). The program's terminal has the size of yours and follows it
(with a host that offers resize; an older one keeps it at 50x30). The window title is put back at
the end.
When standard input is not a terminal it is sent as it arrives (in pseudo_console mode each line
end as Enter, a CR); at its end the program's input ends too (Ctrl-D in pseudo_console mode, as
typed; closeStdin in the console modes), and the client then waits for the program to exit.

Exit status: the program's own when it has exited (from a host that reports it; 0 from an older
host); 0 when Ctrl-] ended the session; 1 when the host failed or broke the protocol; 2 for a
wrong command line.
)";
}

}  // namespace snh::client
