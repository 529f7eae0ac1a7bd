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

// OpenSSH's option letters, as its getopt string has them: a letter before ':' takes a value.
constexpr std::string_view kSshOptions =
    "1246ab:c:e:fgi:kl:m:no:p:qstvxAB:CD:E:F:GI:J:KL:MNO:P:Q:R:S:TVw:W:XYy";

// Whether ssh has the letter, and whether it takes a value.
std::optional<bool> SshOptionTakesValue(char letter) {
  const std::size_t at = letter == ':' ? std::string_view::npos : kSshOptions.find(letter);
  if (at == std::string_view::npos) return std::nullopt;
  return at + 1 < kSshOptions.size() && kSshOptions[at + 1] == ':';
}

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

// ssh's forms: one character, ^ and a letter for a control key, or "none".
std::optional<char> ParseEscapeCharacter(const std::string& text) {
  if (text == "none") return std::nullopt;
  const auto ascii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (text.size() == 1 && ascii(text[0])) return text[0];
  if (text.size() == 2 && text[0] == '^' && ascii(text[1]) && text[1] >= '@') {
    return static_cast<char>(text[1] & 0x1f);
  }
  throw UsageError("bad escape character \"" + text + "\"; give one character, ^ and a letter, or none");
}

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string> arguments) {
  ParsedCommandLine parsed;
  ClientOptions& options = parsed.options;
  std::optional<std::optional<char>> escapeForClient;
  std::optional<std::optional<char>> escapeForSsh;
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
  // The words from `next` on go to the program untouched.
  auto passTheRest = [&] {
    options.arguments.insert(options.arguments.end(), arguments.begin() + static_cast<std::ptrdiff_t>(next),
                             arguments.end());
    next = arguments.size();
  };
  // ssh's bundle such as -tt, -p2222 or -vp 2222; false for a word ssh would refuse.
  auto takeSshOptions = [&](const std::string& word) {
    for (std::size_t i = 1; i < word.size(); ++i) {
      const auto takesValue = SshOptionTakesValue(word[i]);
      if (!takesValue) return false;
      if (*takesValue) break;  // the rest of the word is its value
    }
    options.arguments.push_back(word);
    for (std::size_t i = 1; i < word.size(); ++i) {
      const char letter = word[i];
      options.ttyChosen = options.ttyChosen || letter == 't' || letter == 'T';
      options.quiet = options.quiet || letter == 'q';
      if (!*SshOptionTakesValue(letter)) continue;
      std::string value = word.substr(i + 1);
      if (value.empty()) {
        if (next >= arguments.size()) throw UsageError(fmt::format("option -{} needs a value", letter));
        value = arguments[next++];
        options.arguments.push_back(value);
      }
      if (letter == 'e') escapeForSsh = ParseEscapeCharacter(value);
      break;
    }
    return true;
  };

  while (next < arguments.size()) {
    const std::string& word = arguments[next++];
    if (word == "--") {
      // ssh's own end of options: the destination and the command follow.
      options.arguments.push_back(word);
      if (!options.destination && next < arguments.size()) options.destination = arguments[next];
      passTheRest();
      break;
    }
    const bool option = word.size() > 1 && word[0] == '-';
    if (options.destination) {
      // As ssh does, options may follow the destination; the first other word starts the command.
      if (!option || word.starts_with("--") || !takeSshOptions(word)) {
        --next;
        passTheRest();
      }
      continue;
    }
    if (!option) {
      options.destination = word;
      options.arguments.push_back(word);
      continue;
    }
    if (word == "-h" || word == "--help") {
      parsed.action = ClientAction::kShowHelp;
      return parsed;
    }
    if (word == "--version") {
      parsed.action = ClientAction::kShowVersion;
      return parsed;
    }
    if (!word.starts_with("--")) {
      if (!takeSshOptions(word)) {
        throw UsageError("unknown option \"" + word + "\": ssh has no such option (see --help)");
      }
    } else if (word == "--json") {
      options.json = true;
    } else if (word == "--quiet") {
      options.quiet = true;
    } else if (is(word, "--mode")) {
      options.mode = CheckedMode(valueOf("--mode", word));
    } else if (is(word, "--host")) {
      options.hostPath = valueOf("--host", word);
    } else if (is(word, "--escape-char")) {
      escapeForClient = ParseEscapeCharacter(valueOf("--escape-char", word));
    } else if (is(word, "--program")) {
      options.program = valueOf("--program", word);
      if (options.program->empty()) throw UsageError("--program needs a program");
      if (!options.arguments.empty()) {
        throw UsageError("ssh's options go to ssh; PROGRAM's own arguments follow --program PROGRAM");
      }
      // Its arguments follow at once, options of its own included.
      if (next < arguments.size() && arguments[next] == "--") ++next;
      passTheRest();
    } else if (is(word, "--polling-interval")) {
      options.pollingIntervalInSeconds = ParseSeconds(valueOf("--polling-interval", word));
    } else {
      throw UsageError("unknown option \"" + word + "\" (see --help)");
    }
  }
  // ssh's -e is honoured too: ssh in the pseudo console sees the keys after the client does.
  options.escapeCharacter = escapeForClient.value_or(escapeForSsh.value_or('~'));
  return parsed;
}

ClientProgram ResolveProgram(const ClientOptions& options, const std::string& shell,
                             bool programHasTerminal) {
  if (options.program) return {*options.program, options.arguments};
  if (options.arguments.empty()) return {shell, {}};
  ClientProgram ssh{"ssh", {}};
  if (!programHasTerminal && !options.ttyChosen) ssh.arguments.emplace_back("-T");
  ssh.arguments.insert(ssh.arguments.end(), options.arguments.begin(), options.arguments.end());
  return ssh;
}

std::string ResolveMode(const ClientOptions& options, bool inputIsTerminal) {
  if (options.mode) return *options.mode;
  return std::string(inputIsTerminal ? modes::kPseudoConsole : modes::kConsoleWithPolling);
}

nlohmann::json ConnectRequest(const ClientOptions& options, const std::string& mode,
                              const ClientProgram& program) {
  nlohmann::json params = {{"fileName", program.fileName}, {"arguments", program.arguments}, {"mode", mode}};
  if (options.pollingIntervalInSeconds)
    params["pollingIntervalInSeconds"] = *options.pollingIntervalInSeconds;
  return {{"type", "connect"}, {"connectParams", std::move(params)}};
}

std::string UsageText() {
  return R"(Usage: ssh-native-host-cli [options] [destination [command [argument...]]]
  or:  ssh-native-host-cli [client options] --program PROGRAM [--] [argument...]

Starts ssh-native-host as a browser does, has it run ssh (or another program) and connects this
terminal to it. With no program and no destination it runs your shell ($SHELL, else /bin/sh; on
Windows %ComSpec%), so it works without an SSH server.

ssh's own options are read as ssh reads them (-p 2222, -p2222, -tt, -i key, -o Name=value, -J jump,
-l user, -v, -V, -m, ... before or after the destination) and passed to ssh as given, in order; -e and
-q mean to the client what they mean to ssh (see Keys, and --quiet). The client's own options are long
ones, so they never collide with ssh's (-m and -V are ssh's, not the client's):
      --mode MODE             pseudo_console (the default on a terminal),
                              windows_console_with_polling or windows_console_without_polling
      --program PROGRAM ...   run PROGRAM instead of ssh, with all the arguments that follow
                              (so it comes last)
      --escape-char C         the escape character: one character, ^ and a letter (^X is Ctrl-X),
                              or none (default ~, or ssh's -e when it is given)
      --quiet                 no opening line (ssh's -q does the same)
      --host PATH             the host executable (default: ssh-native-host next to this program)
      --polling-interval SEC  console polling interval, with windows_console_with_polling
      --json                  print every message of the host as one line of JSON, as received
                              (but the answer to the client's own getCapabilities)
  -h, --help                  show this text
      --version               show the version

Keys: everything typed goes to the program as it is typed, but the escape character at the start of
a line (after Enter, or first of all): ~. ends the session, ~~ sends one ~, and ~ followed by any
other key sends both. ssh in the pseudo console sees the keys after the client: ~~. reaches ssh's own
escape. In pseudo_console mode the terminal is raw; in the console modes lines are sent when Enter is
pressed (so ~. then Enter), the typing is echoed and reaches only the program's standard input, never
ssh's password prompt (use pseudo_console for logins). The program's terminal has the size of yours
and follows it (with a host that offers resize; an older one keeps it at 50x30). The window title,
the main screen, mouse tracking and bracketed paste off and the cursor shown are put back at the end.

Without a terminal on standard input the client behaves as ssh does there: the program runs in
windows_console_with_polling mode, its standard output and standard error are its own bytes, what
it writes to its terminal (a prompt) goes to standard error, and the end of input ends its input
(closeStdin), so `printf 'echo x' | ssh-native-host-cli host` prints x. With --mode pseudo_console
the input is typed into a terminal instead: each line end as Enter, a CR, and at the end Ctrl-D
(twice after an unfinished line). In the console modes ssh gets -T (its input is a pipe there)
unless -t or -T is given.

Exit status: the program's own when it has exited (from a host that reports it; 0 from an older
host); 127 when the program was not found and 126 when it could not be run; 255 when ~. ended the
session; 1 when the host failed or broke the protocol; 2 for a wrong command line.
)";
}

}  // namespace snh::client
