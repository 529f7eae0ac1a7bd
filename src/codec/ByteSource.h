#pragma once

// Where request bytes come from: the host's standard input, one frame's body, or a text in memory.

#include <cstddef>
#include <string_view>

namespace snh {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `capacity` bytes; returns 0 at end of input or on a read error.
  virtual std::size_t Read(char* buffer, std::size_t capacity) = 0;
};

// A text in memory, read as if it arrived.
class TextSource final : public ByteSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  std::size_t Read(char* buffer, std::size_t capacity) override {
    const std::size_t count = text_.copy(buffer, capacity);
    text_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view text_;
};

}  // namespace snh
