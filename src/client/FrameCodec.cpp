#include "client/FrameCodec.h"

namespace snh::client {
namespace {

std::string Printable(std::string_view bytes) {
  constexpr std::size_t kShown = 64;
  std::string shown;
  for (unsigned char c : bytes.substr(0, kShown)) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 0xF];
    }
  }
  if (bytes.size() > kShown) shown += "...";
  return shown;
}

}  // namespace

std::string EncodeLength(std::uint32_t length) {
  std::string bytes(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return bytes;
}

std::string EncodeFrame(std::string_view body) {
  return EncodeLength(static_cast<std::uint32_t>(body.size())) + std::string(body);
}

void FrameDecoder::Feed(std::string_view bytes) {
  if (failure_) return;
  buffer_.append(bytes);
  DecodeAvailable();
}

void FrameDecoder::Finish() {
  if (!failure_ && !buffer_.empty()) {
    Fail("output ended inside a frame, " + std::to_string(buffer_.size()) + " bytes left: \"" +
         Printable(buffer_) + "\"");
  }
}

std::optional<DecodedFrame> FrameDecoder::Next() {
  if (frames_.empty()) return std::nullopt;
  DecodedFrame frame = std::move(frames_.front());
  frames_.pop_front();
  return frame;
}

void FrameDecoder::DecodeAvailable() {
  while (!failure_ && buffer_.size() >= 4) {
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      length |= static_cast<std::uint32_t>(static_cast<unsigned char>(buffer_[i])) << (8 * i);
    }
    if (length == 0 || length > kMaxHostMessageBytes) {
      Fail("frame length " + std::to_string(length) + " is not a sane message size; bytes there: \"" +
           Printable(buffer_) + "\"");
      return;
    }
    if (buffer_.size() - 4 < length) return;

    std::string_view body = std::string_view(buffer_).substr(4, length);
    nlohmann::json message = nlohmann::json::parse(body, nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
      Fail("frame body is not a JSON object: \"" + Printable(body) + "\"");
      return;
    }
    auto type = message.find("type");
    if (type == message.end() || !type->is_string()) {
      Fail("frame body has no string \"type\": \"" + Printable(body) + "\"");
      return;
    }
    frames_.push_back(DecodedFrame{length, std::string(body), std::move(message)});
    buffer_.erase(0, 4 + std::size_t{length});
    bytesConsumed_ += 4 + std::size_t{length};
  }
}

void FrameDecoder::Fail(std::string reason) {
  failure_ = "at byte " + std::to_string(bytesConsumed_) + " of the host's output: " + std::move(reason);
  buffer_.clear();
}

}  // namespace snh::client
