#include "client/MessagePresenter.h"

#include <algorithm>

#include "codec/Messages.h"

namespace snh::client {
namespace {

std::string StringAt(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

long long NumberAt(const nlohmann::json& object, const char* key, const char* member, long long fallback) {
  if (!object.is_object()) return fallback;
  const auto found = object.find(key);
  if (found == object.end() || !found->is_object()) return fallback;
  const auto value = found->find(member);
  return value != found->end() && value->is_number_integer() ? value->get<long long>() : fallback;
}

constexpr std::string_view kStartFailure = "CreateProcess failed.";

// A Windows status such as 0xC0000005 may come signed or unsigned; anything else is no exit code.
std::optional<std::uint32_t> ExitCodeOf(const nlohmann::json& notice) {
  const auto code = notice.find("exitCode");
  if (code == notice.end() || !code->is_number_integer()) return std::nullopt;
  if (code->is_number_unsigned()) {
    const auto value = code->get<std::uint64_t>();
    if (value > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(value);
  }
  const auto value = code->get<std::int64_t>();
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::set<std::string> OfferedCapabilities(const nlohmann::json& answer) {
  std::set<std::string> offered;
  if (StringAt(answer, "type") != "capabilities") return offered;
  const auto list = answer.find("capabilities");
  if (list == answer.end() || !list->is_array()) return offered;
  for (const auto& name : *list) {
    if (name.is_string()) offered.insert(name.get<std::string>());
  }
  return offered;
}

std::string ErrorLine(std::string_view program, std::string_view text, std::string_view lineEnd) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::string line(program);
  line.append(": ").append(text).append(lineEnd);
  return line;
}

Presentation MessagePresenter::Present(const nlohmann::json& message) const {
  Presentation shown;
  const std::string type = StringAt(message, "type");
  if (type == "pseudo_console_output") {
    const auto output = message.find("pseudoConsoleOutput");
    if (output != message.end()) shown.output = StringAt(*output, "rawContent");
  } else if (type == "stdout") {
    shown.output = StringAt(message, "outputLine");
  } else if (type == "stderr") {
    shown.error = StringAt(message, "outputLine");
  } else if (type == "console_output") {
    const auto output = message.find("consoleOutput");
    if (output != message.end()) (consoleTextAsError_ ? shown.error : shown.output) = ConsoleText(*output);
  } else if (type == "error") {
    const std::string text = StringAt(message, "error");
    if (text == texts::kProcessExited) {
      shown.sessionEnded = true;
      shown.exitCode = ExitCodeOf(message);
    } else if (!program_.empty() && text.starts_with(kStartFailure)) {
      // "CreateProcess failed. 0x2 The system cannot find the file specified."
      std::string_view detail = std::string_view(text).substr(kStartFailure.size());
      const bool notFound = detail.starts_with(" 0x2 ") || detail.starts_with(" 0x3 ");
      if (const std::size_t reason = detail.find(' ', 1); reason != std::string_view::npos) {
        detail.remove_prefix(reason + 1);
      }
      while (detail.ends_with('\n') || detail.ends_with('\r')) detail.remove_suffix(1);
      shown.error = ErrorLine("ssh-native-host-cli",
                              "cannot start \"" + program_ + "\": " + std::string(detail) +
                                  (notFound ? " (is it installed, and on PATH?)" : ""),
                              lineEnd_);
      shown.sessionEnded = true;
      shown.exitCode = notFound ? 127 : 126;
    } else {
      shown.error = ErrorLine("ssh-native-host", text, lineEnd_);
    }
  }
  // "version" is never asked for, and a newer host's messages are not ours to guess at.
  return shown;
}

// The cells run row after row with no separators, from the start position up to the cursor. Whole rows
// become lines without their trailing blanks; the last row, cut at the cursor, stays as it is, so a
// prompt such as "Password: " is followed by what the user types.
std::string MessagePresenter::ConsoleText(const nlohmann::json& consoleOutput) const {
  const long long width = NumberAt(consoleOutput, "consoleSize", "x", 0);
  const std::string cells = StringAt(consoleOutput, "characterContent");
  if (width <= 0) return cells;
  long long column = std::clamp(NumberAt(consoleOutput, "startPosition", "x", 0), 0LL, width - 1);

  std::string text;
  std::string row;
  for (std::size_t i = 0; i < cells.size();) {
    // One cell per character.
    std::size_t end = i + 1;
    while (end < cells.size() && IsContinuationByte(cells[end])) ++end;
    row.append(cells, i, end - i);
    i = end;
    if (++column == width) {
      row.erase(row.find_last_not_of(' ') + 1);
      text += row + lineEnd_;
      row.clear();
      column = 0;
    }
  }
  return text + row;
}

}  // namespace snh::client
