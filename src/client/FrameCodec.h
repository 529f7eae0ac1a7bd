#pragma once

// Native messaging framing as the browser sees it: a 4-byte little-endian length, then that many
// bytes of UTF-8 JSON. The decoder is strict, because anything the host writes outside a well-formed
// frame would make a browser drop the connection.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace snh::client {

// Browsers close the port on a host message larger than this.
inline constexpr std::uint32_t kMaxHostMessageBytes = 1024 * 1024;

std::string EncodeLength(std::uint32_t length);
std::string EncodeFrame(std::string_view body);

struct DecodedFrame {
  std::uint32_t length = 0;
  std::string body;  // the JSON text exactly as received
  nlohmann::json message;
};

// Incremental decoder of the host's output. The first violation stops it for good: after a stray byte
// there is no way to find the next frame boundary.
class FrameDecoder {
 public:
  void Feed(std::string_view bytes);
  // Call at end of stream: bytes left over are a frame cut short.
  void Finish();

  std::optional<DecodedFrame> Next();
  const std::optional<std::string>& Failure() const { return failure_; }

 private:
  void DecodeAvailable();
  void Fail(std::string reason);

  std::string buffer_;
  std::size_t bytesConsumed_ = 0;  // of the host's whole output, for failure messages
  std::deque<DecodedFrame> frames_;
  std::optional<std::string> failure_;
};

}  // namespace snh::client
