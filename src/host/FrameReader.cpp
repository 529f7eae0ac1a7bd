#include "host/FrameReader.h"

#include <algorithm>

namespace snh {

std::size_t FrameBody::Read(char* buffer, std::size_t capacity) {
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(left_, capacity));
  if (wanted == 0) return 0;
  const std::size_t count = input_.Read(buffer, wanted);
  // The input has ended: nothing more of this body will come.
  left_ = count == 0 ? 0 : left_ - count;
  return count;
}

void FrameBody::Skip() {
  char buffer[64 * 1024];
  while (Read(buffer, sizeof buffer) > 0) {
  }
}

std::optional<FrameBody> ReadFrame(ByteSource& input) {
  unsigned char prefix[4];
  std::size_t received = 0;
  while (received < sizeof prefix) {
    const std::size_t count =
        input.Read(reinterpret_cast<char*>(prefix) + received, sizeof prefix - received);
    if (count == 0) return std::nullopt;
    received += count;
  }
  const std::uint32_t length = std::uint32_t{prefix[0]} | std::uint32_t{prefix[1]} << 8 |
                               std::uint32_t{prefix[2]} << 16 | std::uint32_t{prefix[3]} << 24;
  if (length > kMaxMessageSize) {
    FrameBody(input, length).Skip();
    return FrameBody(input, 0);
  }
  return FrameBody(input, length);
}

}  // namespace snh
