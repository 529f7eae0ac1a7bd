#pragma once

// Reads request frames: a 4-byte little-endian length, then that many bytes of JSON text. A body is
// handed on as it arrives, never held whole.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "codec/ByteSource.h"

namespace snh {

// The largest body read: Chrome sends at most 64 MiB to a host, and no request needs more.
inline constexpr std::size_t kMaxMessageSize = 64u << 20;

// One frame's body, read straight from the input.
class FrameBody final : public ByteSource {
 public:
  FrameBody(ByteSource& input, std::uint32_t length) : input_(input), left_(length) {}
  // The body's next bytes; 0 at its end, and from where the input ends inside it (the missing bytes
  // would be zeros, which end the text anyway).
  std::size_t Read(char* buffer, std::size_t capacity) override;
  // Reads and drops what has not been read of the body, keeping the frames after it in step.
  void Skip();

 private:
  ByteSource& input_;
  std::uint64_t left_;
};

// The next frame, or nothing at end of input (a length cut short counts as end of input). A body over
// kMaxMessageSize is read and dropped as it arrives and handed on empty, which no decoder accepts; a
// length alone never costs memory.
std::optional<FrameBody> ReadFrame(ByteSource& input);

}  // namespace snh
