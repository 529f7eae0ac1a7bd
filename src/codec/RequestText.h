#pragma once

// A request text as the platform's UTF-16 round trip leaves it, read a block at a time as it arrives so
// that no copy of the whole text is made: it ends at its first NUL, each ill-formed UTF-8 subpart reads
// as U+FFFD, and an escaped surrogate inside a string that is not half of a pair reads as \ufffd (the
// platform's JSON classes accept it; the JSON library refuses it).

#include <array>
#include <cstddef>
#include <streambuf>
#include <string_view>

#include "codec/ByteSource.h"

namespace snh {

class RequestTextBuffer final : public std::streambuf {
 public:
  // Reads `source` up to its end or its first NUL, whichever comes first; nothing after that NUL.
  explicit RequestTextBuffer(ByteSource& source);
  RequestTextBuffer(const RequestTextBuffer&) = delete;
  RequestTextBuffer& operator=(const RequestTextBuffer&) = delete;

 protected:
  int_type underflow() override;

 private:
  // Reads more of the source until a whole piece is held or the text has ended.
  void Refill();
  // The raw bytes read and not yet cleaned up: at least kLongestPiece unless the text has ended.
  std::string_view Pending() const { return {raw_.data() + rawNext_, rawEnd_ - rawNext_}; }
  // Copies the next piece of the text (at most kLongestPiece bytes) to `out`; returns its length.
  std::size_t CopyPiece(char* out);
  std::size_t CopyEscape(char* out);

  // A surrogate pair written as two escapes.
  static constexpr std::size_t kLongestPiece = 12;

  ByteSource& source_;
  bool sourceEnded_ = false;  // the source has ended or a NUL was read
  std::array<char, 16 * 1024> raw_;
  std::size_t rawNext_ = 0;
  std::size_t rawEnd_ = 0;
  bool inString_ = false;
  std::array<char, 16 * 1024> block_;
};

}  // namespace snh
