#include "host/FrameReader.h"

#include <algorithm>
#include <cstdint>

namespace snh {

namespace {

// Reads until `size` bytes have arrived or the input ends; returns the count read.
std::size_t ReadFully(ByteSource& input, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::size_t count = input.Read(buffer + done, size - done);
    if (count == 0) break;
    done += count;
  }
  return done;
}

// The body grows by what has arrived so far (doubling), from this first step: a length that announces
// far more than arrives costs little, and a large frame that does arrive is copied O(1) times a byte.
constexpr std::size_t kFirstStep = 64 * 1024;

// Reads and drops `size` bytes, or what comes before the input ends.
void Skip(ByteSource& input, std::uint64_t size) {
  char buffer[kFirstStep];
  while (size > 0) {
    const std::size_t count =
        input.Read(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof buffer)));
    if (count == 0) return;
    size -= count;
  }
}

}  // namespace

std::optional<std::string> ReadMessage(ByteSource& input) {
  unsigned char prefix[4];
  if (ReadFully(input, reinterpret_cast<char*>(prefix), sizeof prefix) != sizeof prefix) return std::nullopt;
  const std::uint32_t length = std::uint32_t{prefix[0]} | std::uint32_t{prefix[1]} << 8 |
                               std::uint32_t{prefix[2]} << 16 | std::uint32_t{prefix[3]} << 24;
  if (length > kMaxMessageSize) {
    Skip(input, length);
    return std::string();
  }

  std::string body;
  std::size_t received = 0;
  while (received < length) {
    const std::size_t step = std::min<std::size_t>(length - received, std::max(received, kFirstStep));
    body.resize(received + step);
    const std::size_t count = ReadFully(input, body.data() + received, step);
    received += count;
    if (count < step) {
      body.resize(received);
      body.push_back('\0');
      break;
    }
  }
  return body;
}

}  // namespace snh
