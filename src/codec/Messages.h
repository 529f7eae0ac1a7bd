#pragma once

// The records of every message between the host and the extension.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snh {

// A console cell position or size: column X, row Y.
struct Coord {
  std::int16_t x = 0;
  std::int16_t y = 0;
  friend bool operator==(const Coord&, const Coord&) = default;
};

struct ConnectParams {
  std::string fileName;
  std::vector<std::string> arguments;
  std::optional<std::string> extensionVersion;
  std::optional<std::string> mode;
  std::optional<Coord> consoleSize;
  std::optional<double> pollingIntervalInSeconds;
  // Additions: the most output bytes one message may carry, and pseudo-console messages without their
  // processedContent. Kept only when of the right type.
  std::optional<double> maxOutputBytes;
  bool omitProcessedContent = false;
  friend bool operator==(const ConnectParams&, const ConnectParams&) = default;
};

// A console size as a request gave it, before its range is checked.
struct RequestedSize {
  double x = 0;
  double y = 0;
  friend bool operator==(const RequestedSize&, const RequestedSize&) = default;
};

struct Request {
  std::string type;
  std::optional<ConnectParams> connectParams;
  std::optional<std::string> input;
  // Only when it is an object with numeric "x" and "y": other requests never fail on it.
  std::optional<RequestedSize> consoleSize;
  friend bool operator==(const Request&, const Request&) = default;
};

struct ConsoleOutput {
  Coord consoleSize;
  Coord startPosition;
  Coord endPosition;
  std::string characterContent;
  friend bool operator==(const ConsoleOutput&, const ConsoleOutput&) = default;
};

struct PseudoConsoleOutput {
  std::string rawContent;
  std::optional<std::string> processedContent;  // left out when the connect asked so
  std::optional<std::string> windowTitle;
  friend bool operator==(const PseudoConsoleOutput&, const PseudoConsoleOutput&) = default;
};

struct Response {
  std::string type;
  std::optional<std::string> version;
  std::optional<std::string> error;
  std::optional<std::int64_t> exitCode;  // the exit notice's, when the system tells it
  std::optional<std::string> outputLine;
  std::optional<ConsoleOutput> consoleOutput;
  std::optional<PseudoConsoleOutput> pseudoConsoleOutput;
  std::optional<std::vector<std::string>> capabilities;
  friend bool operator==(const Response&, const Response&) = default;
};

// Texts that extensions match on; kept exactly as they have always been spelled.
namespace texts {
inline constexpr const char* kInvalidFormat = "Invalid format";
inline constexpr const char* kNotConnected = "Not connected";
inline constexpr const char* kNotImplementedYet = "Not implemented yet";
inline constexpr const char* kUnknownType = "Unkown type";
inline constexpr const char* kProcessExited = "SSH Process exited";
// Requests added to the base protocol.
inline constexpr const char* kInvalidConsoleSize =
    "Invalid console size: columns and rows must be whole numbers from 1 to 1000";
inline constexpr const char* kCloseStdinInPseudoConsole =
    "closeStdin is not available in pseudo_console mode: a terminal has no end of input; send its "
    "end-of-file character (Ctrl-D, U+0004) instead";
inline constexpr const char* kInputClosed = "Input closed";
}  // namespace texts

// The additions to the base protocol this host offers, as getCapabilities lists them.
inline const std::vector<std::string>& Capabilities() {
  static const std::vector<std::string> names = {"resize",         "closeStdin",           "exitCode",
                                                 "maxOutputBytes", "omitProcessedContent", "pauseOutput"};
  return names;
}

// The console sizes a resize accepts, each way.
inline constexpr double kMinConsoleSide = 1;
inline constexpr double kMaxConsoleSide = 1000;

// The console modes a connect request names; without one, the console without polling.
namespace modes {
inline constexpr const char* kPseudoConsole = "pseudo_console";
inline constexpr const char* kConsoleWithPolling = "windows_console_with_polling";
inline constexpr const char* kConsoleWithoutPolling = "windows_console_without_polling";
}  // namespace modes

inline Response ErrorResponse(std::string text) {
  Response response;
  response.type = "error";
  response.error = std::move(text);
  return response;
}

}  // namespace snh
