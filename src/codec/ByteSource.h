#pragma once

// Where request bytes come from: the host's standard input, one frame's body, or a text in memory.

#include <cstddef>

namespace snh {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `capacity` bytes; returns 0 at end of input or on a read error.
  virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
};

}  // namespace snh
