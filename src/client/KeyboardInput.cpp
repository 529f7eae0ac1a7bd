#include "client/KeyboardInput.h"

#include <nlohmann/json.hpp>

#include "codec/Utf.h"

namespace snh::client {

KeyboardChunk KeyboardInput::Feed(std::string_view bytes) {
  KeyboardChunk chunk;
  if (options_.detachKey) {
    if (const std::size_t key = bytes.find(kDetachKey); key != std::string_view::npos) {
      // A character cut short by the key can never be completed.
      chunk.text = Translate(pending_ + std::string(bytes.substr(0, key)));
      pending_.clear();
      chunk.detach = true;
      return chunk;
    }
  }
  std::string text = pending_ + std::string(bytes);
  const std::size_t complete = CompleteUtf8PrefixLength(text);
  pending_ = text.substr(complete);
  text.resize(complete);
  chunk.text = Translate(text);
  return chunk;
}

std::string KeyboardInput::Finish() {
  std::string text = Translate(std::exchange(pending_, {}));
  if (options_.endWithEndOfFile) text.append(lineOpen_ ? 2 : 1, kEndOfFileKey);
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
