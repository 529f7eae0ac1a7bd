#pragma once

// A request text as the platform's UTF-16 round trip leaves it, read a block at a time so that no copy
// of the whole text is made: it ends at its first NUL, each ill-formed UTF-8 subpart reads as U+FFFD,
// and an escaped surrogate inside a string that is not half of a pair reads as \ufffd (the platform's
// JSON classes accept it; the JSON library refuses it).

#include <array>
#include <cstddef>
#include <streambuf>
#include <string_view>

namespace snh {

class RequestTextBuffer final : public std::streambuf {
 public:
  explicit RequestTextBuffer(std::string_view text);
  RequestTextBuffer(const RequestTextBuffer&) = delete;
  RequestTextBuffer& operator=(const RequestTextBuffer&) = delete;

 protected:
  int_type underflow() override;

 private:
  // Copies the next piece of the text (at most kLongestPiece bytes) to `out`; returns its length.
  std::size_t CopyPiece(char* out);
  std::size_t CopyEscape(char* out);

  // A surrogate pair written as two escapes.
  static constexpr std::size_t kLongestPiece = 12;

  std::string_view text_;
  std::size_t next_ = 0;
  bool inString_ = false;
  std::array<char, 16 * 1024> block_;
};

}  // namespace snh
