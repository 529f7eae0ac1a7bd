#pragma once

// Requests as the extension builds them, and tests on the messages the host sends back.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "HostSession.h"

namespace snh::conformance {

inline constexpr const char* kPseudoConsole = "pseudo_console";
inline constexpr const char* kConsoleWithPolling = "windows_console_with_polling";
inline constexpr const char* kConsoleWithoutPolling = "windows_console_without_polling";
inline constexpr const char* kExitNotice = "SSH Process exited";

inline nlohmann::json GetVersionRequest() { return {{"type", "getVersion"}}; }
inline nlohmann::json DisconnectRequest() { return {{"type", "disconnect"}}; }
inline nlohmann::json StdinRequest(const std::string& input) { return {{"type", "stdin"}, {"input", input}}; }
inline nlohmann::json CloseStdinRequest() { return {{"type", "closeStdin"}}; }
inline nlohmann::json ResizeRequest(int columns, int rows) {
  return {{"type", "resize"}, {"consoleSize", {{"x", columns}, {"y", rows}}}};
}

inline nlohmann::json ConnectRequest(const std::string& fileName, const std::vector<std::string>& arguments,
                                     const std::optional<std::string>& mode = std::nullopt,
                                     std::optional<double> pollingIntervalInSeconds = std::nullopt) {
  nlohmann::json params = {{"fileName", fileName}, {"arguments", arguments}, {"extensionVersion", "1.0.0"}};
  if (mode) params["mode"] = *mode;
  if (pollingIntervalInSeconds) params["pollingIntervalInSeconds"] = *pollingIntervalInSeconds;
  return {{"type", "connect"}, {"connectParams", params}};
}

inline MessagePredicate IsType(std::string type) {
  return [type = std::move(type)](const nlohmann::json& message) { return message.at("type") == type; };
}

inline MessagePredicate IsError(std::string text) {
  return [text = std::move(text)](const nlohmann::json& message) {
    return message.at("type") == "error" && message.value("error", nlohmann::json()) == text;
  };
}

inline MessagePredicate IsExitNotice() { return IsError(kExitNotice); }

}  // namespace snh::conformance
