#pragma once

// What the terminal client shows for each message of the host: the pseudo console's raw output as it
// is, the client's stdout and stderr on ours, console text as lines, errors with a prefix. Pure: the
// caller writes the bytes.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace snh::client {

// "<program>: <text><lineEnd>": one line, whether or not the text ends in a line end of its own (a
// system's error text does on Windows).
std::string ErrorLine(std::string_view program, std::string_view text, std::string_view lineEnd);

struct Presentation {
  std::string output;  // for standard output (the terminal)
  std::string error;   // for standard error
  bool sessionEnded = false;
  std::optional<std::uint32_t> exitCode;  // the program's, from an exit notice that carries it
};

// What a host offers beyond the base protocol, from its answer to getCapabilities; an older host's
// error answer offers nothing.
std::set<std::string> OfferedCapabilities(const nlohmann::json& answer);

class MessagePresenter {
 public:
  // `lineEnd` ends the lines the client makes itself: "\r\n" while the terminal is raw. `program`, the
  // one the session asked the host to start: when the host cannot start it, one line names it and the
  // session ends with a shell's status (127 not found, 126 not runnable). `consoleTextAsError` puts
  // the console's text on standard error, leaving standard output to the program's own bytes.
  explicit MessagePresenter(std::string lineEnd, std::string program = {}, bool consoleTextAsError = false)
      : lineEnd_(std::move(lineEnd)), program_(std::move(program)), consoleTextAsError_(consoleTextAsError) {}

  Presentation Present(const nlohmann::json& message) const;

 private:
  std::string ConsoleText(const nlohmann::json& consoleOutput) const;

  std::string lineEnd_;
  std::string program_;
  bool consoleTextAsError_;
};

}  // namespace snh::client
