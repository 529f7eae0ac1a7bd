#include "codec/JsonModule.h"

#include <cstdint>
#include <optional>

#include "base/DiagnosticLog.h"
#include "codec/JsonText.h"

namespace snh {

namespace {

// Writes `,"key":` (or `{"key":` for the first member of an object).
void AppendKey(std::string& out, std::string_view key, bool first = false) {
  out += first ? '{' : ',';
  AppendJsonString(out, key);
  out += ':';
}

void AppendText(std::string& out, std::string_view key, const std::string& text, bool first = false) {
  AppendKey(out, key, first);
  AppendJsonText(out, text);
}

void AppendCoord(std::string& out, std::string_view key, Coord coord, bool first = false) {
  AppendKey(out, key, first);
  out += "{\"x\":";
  AppendJsonInteger(out, coord.x);
  out += ",\"y\":";
  AppendJsonInteger(out, coord.y);
  out += '}';
}

std::size_t Size(const std::optional<std::string>& text) { return text ? text->size() : 0; }

std::size_t TextBytes(const Response& response) {
  std::size_t bytes =
      response.type.size() + Size(response.version) + Size(response.error) + Size(response.outputLine);
  if (response.consoleOutput) bytes += response.consoleOutput->characterContent.size();
  if (const auto& output = response.pseudoConsoleOutput) {
    bytes += output->rawContent.size() + Size(output->processedContent) + Size(output->windowTitle);
  }
  return bytes;
}

}  // namespace

// "type" first and the other members in their fixed order.
void AppendResponse(std::string& out, const Response& response) {
  AppendText(out, "type", response.type, /*first=*/true);
  if (response.version) AppendText(out, "version", *response.version);
  if (response.error) AppendText(out, "error", *response.error);
  if (response.exitCode) {
    AppendKey(out, "exitCode");
    AppendJsonInteger(out, *response.exitCode);
  }
  if (response.outputLine) AppendText(out, "outputLine", *response.outputLine);
  if (const auto& console = response.consoleOutput) {
    AppendKey(out, "consoleOutput");
    AppendCoord(out, "consoleSize", console->consoleSize, /*first=*/true);
    AppendCoord(out, "startPosition", console->startPosition);
    AppendCoord(out, "endPosition", console->endPosition);
    AppendText(out, "characterContent", console->characterContent);
    out += '}';
  }
  if (const auto& pseudoConsole = response.pseudoConsoleOutput) {
    AppendKey(out, "pseudoConsoleOutput");
    AppendText(out, "rawContent", pseudoConsole->rawContent, /*first=*/true);
    if (pseudoConsole->processedContent)
      AppendText(out, "processedContent", *pseudoConsole->processedContent);
    if (pseudoConsole->windowTitle) AppendText(out, "windowTitle", *pseudoConsole->windowTitle);
    out += '}';
  }
  if (const auto& names = response.capabilities) {
    AppendKey(out, "capabilities");
    out += '[';
    for (std::size_t i = 0; i < names->size(); ++i) {
      if (i > 0) out += ',';
      AppendJsonText(out, (*names)[i]);
    }
    out += ']';
  }
  out += '}';
}

JsonModule::JsonModule(OutputSink& output) : output_(output) {}

void JsonModule::WriteMessage(const Response& response) {
  // Every error the extension is told of, the exit notice included, passes here.
  if (response.error && DiagnosticLogOpen()) LogDiagnostic("error sent: {}", LoggedText(*response.error));
  const std::lock_guard lock(outputMutex_);
  // The text is written behind room for its length, so the frame is built without a copy, in the
  // buffer of the previous frame.
  std::string& frame = frame_;
  frame.assign(4, '\0');
  // Room for the keys and a few escapes, so the text is not moved while it grows.
  frame.reserve(256 + TextBytes(response) * 9 / 8);
  AppendResponse(frame, response);
  const auto length = static_cast<std::uint32_t>(frame.size() - 4);
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  // One write per frame: the length never reaches the reader without its body. A failed write has no
  // one to be reported to; the message is lost.
  static_cast<void>(output_.Write(frame));
  // A rare large message (a long title) does not keep its buffer.
  if (frame.capacity() > kKeptFrameCapacity) frame = std::string();
}

}  // namespace snh
