#pragma once

// The request text as the JSON parser reads it: a RapidJSON input stream over the cleaned text, a
// character at a time, with a leading byte-order mark skipped. Numbers are read here, whole, and the
// parser is handed a "0" in their place while their value waits in Number(): the parser's own number
// reading refuses finite values that requests may carry (0e400, or 400 digits scaled down by their
// exponent) and rounds some others wrongly. Here a number is what strtod makes of it, except that an
// integer that fits 64 bits is converted from that integer (so -0 is 0).

#include <cassert>
#include <cstddef>
#include <string>

#include "codec/ByteSource.h"
#include "codec/RequestText.h"

namespace snh {

class RequestStream {
 public:
  using Ch = char;

  explicit RequestStream(ByteSource& source);
  RequestStream(const RequestStream&) = delete;
  RequestStream& operator=(const RequestStream&) = delete;

  // The next character; '\0' at the end of the text, and from a number that does not read on.
  Ch Peek() const { return current_; }
  Ch Take() {
    const Ch taken = current_;
    Advance();
    ++taken_;
    return taken;
  }
  std::size_t Tell() const { return taken_; }

  // The value of the number the last "0" stands for.
  double Number() const { return number_; }
  // A number was malformed or beyond a double, which fails the text whatever the parser says.
  bool Failed() const { return failed_; }

  // Only parsing in place writes to the stream, and this one is only read.
  Ch* PutBegin() {
    assert(!"never parsed in place");
    return nullptr;
  }
  void Put(Ch) { assert(!"never parsed in place"); }
  void Flush() { assert(!"never parsed in place"); }
  std::size_t PutEnd(Ch*) {
    assert(!"never parsed in place");
    return 0;
  }

 private:
  void Advance() {
    if (ended_) return;
    const auto next = text_.sbumpc();
    if (next == RequestTextBuffer::traits_type::eof()) {
      End();
      return;
    }
    current_ = static_cast<Ch>(next);
    if (inString_) {
      if (escaped_)
        escaped_ = false;
      else if (current_ == '\\')
        escaped_ = true;
      else if (current_ == '"')
        inString_ = false;
    } else if (current_ == '"') {
      inString_ = true;
    } else if (current_ == '-' || (current_ >= '0' && current_ <= '9')) {
      StartNumber();
    }
  }
  void End() {
    ended_ = true;
    current_ = '\0';
  }
  void Fail() {
    failed_ = true;
    End();
  }
  void StartNumber();
  // Reads the rest of the number that `token_` starts; false if it is malformed.
  bool ReadNumber();
  char PeekText() { return static_cast<char>(text_.sgetc()); }
  void TakeText() { token_ += static_cast<char>(text_.sbumpc()); }
  std::size_t TakeDigits();

  RequestTextBuffer text_;
  Ch current_ = '\0';
  std::size_t taken_ = 0;
  bool ended_ = false;
  bool inString_ = false;
  bool escaped_ = false;
  bool failed_ = false;
  double number_ = 0;
  std::string token_;
};

}  // namespace snh
