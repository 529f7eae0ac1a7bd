#include "client/KeyboardInput.h"

#include <nlohmann/json.hpp>

#include "codec/Utf.h"

namespace snh::client {

KeyboardChunk KeyboardInput::Feed(std::string_view bytes) {
  KeyboardChunk chunk;
  std::string text = pending_ + Unescape(bytes, chunk.end);
  if (chunk.end) {
    // A character cut short by the escape can never be completed.
    pending_.clear();
    chunk.text = Translate(text);
    return chunk;
  }
  const std::size_t complete = CompleteUtf8PrefixLength(text);
  pending_ = text.substr(complete);
  text.resize(complete);
  chunk.text = Translate(text);
  return chunk;
}

std::string KeyboardInput::Finish() {
  std::string rest = std::exchange(pending_, {});
  if (std::exchange(escapeTyped_, false)) rest += *options_.escapeCharacter;
  std::string text = Translate(rest);
  if (options_.endWithEndOfFile) text.append(lineOpen_ ? 2 : 1, kEndOfFileKey);
  return text;
}

std::string KeyboardInput::Unescape(std::string_view bytes, bool& end) {
  if (!options_.escapeCharacter) return std::string(bytes);
  const char escape = *options_.escapeCharacter;
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    if (escapeTyped_) {
      escapeTyped_ = false;
      if (c == '.') {
        end = true;
        return text;
      }
      // The escape itself twice is one escape; before another key it was no escape at all.
      if (c != escape) text += escape;
    } else if (atLineStart_ && c == escape) {
      escapeTyped_ = true;
      continue;
    }
    text += c;
    atLineStart_ = c == '\r' || c == '\n';
  }
  return text;
}

std::string KeyboardInput::Translate(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    // The host's text ends at a NUL, which would lose everything after it.
    if (c == '\0') continue;
    lineOpen_ = c != '\n' && c != '\r';
    if (!options_.lineEndsAsReturn) {
      text += c;
      continue;
    }
    // The "\n" of a "\r\n" (perhaps split across reads) was already sent as that "\r".
    if (c == '\n' && lastWasReturn_) {
      lastWasReturn_ = false;
      continue;
    }
    lastWasReturn_ = c == '\r';
    text += c == '\n' ? '\r' : c;
  }
  return text;
}

std::string StdinRequest(std::string_view text) {
  const nlohmann::json request = {{"type", "stdin"}, {"input", std::string(text)}};
  return request.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace snh::client
