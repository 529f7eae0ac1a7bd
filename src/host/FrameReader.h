#pragma once

// Reads request frames: a 4-byte little-endian length, then that many bytes of JSON text.

#include <cstddef>
#include <optional>
#include <string>

namespace snh {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `capacity` bytes; returns 0 at end of input or on a read error.
  virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
};

// The largest body kept: Chrome sends at most 64 MiB to a host, and no request needs more.
inline constexpr std::size_t kMaxMessageSize = 64u << 20;

// The next request text, or nothing at end of input (a length cut short counts as end of input).
// A body cut short by end of input is returned with a NUL after the bytes received: the decoder ends
// the text there, exactly as if the missing bytes were zero, without allocating the announced size.
// A body over kMaxMessageSize is read and dropped as it arrives, keeping the frames after it in step,
// and returned empty, which no decoder accepts. Memory grows with the bytes that actually arrive, up
// to kMaxMessageSize, never with the announced length alone.
std::optional<std::string> ReadMessage(ByteSource& input);

}  // namespace snh
