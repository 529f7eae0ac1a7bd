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
  friend bool operator==(const ConnectParams&, const ConnectParams&) = default;
};

struct Request {
  std::string type;
  std::optional<ConnectParams> connectParams;
  std::optional<std::string> input;
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
  std::string processedContent;
  std::optional<std::string> windowTitle;
  friend bool operator==(const PseudoConsoleOutput&, const PseudoConsoleOutput&) = default;
};

struct Response {
  std::string type;
  std::optional<std::string> version;
  std::optional<std::string> error;
  std::optional<std::string> outputLine;
  std::optional<ConsoleOutput> consoleOutput;
  std::optional<PseudoConsoleOutput> pseudoConsoleOutput;
  friend bool operator==(const Response&, const Response&) = default;
};

// Texts that extensions match on; kept exactly as they have always been spelled.
namespace texts {
inline constexpr const char* kInvalidFormat = "Invalid format";
inline constexpr const char* kNotConnected = "Not connected";
inline constexpr const char* kNotImplementedYet = "Not implemented yet";
inline constexpr const char* kUnknownType = "Unkown type";
inline constexpr const char* kProcessExited = "SSH Process exited";
}  // namespace texts

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
