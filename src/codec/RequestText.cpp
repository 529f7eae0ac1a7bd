#include "codec/RequestText.h"

#include <charconv>
#include <cstring>
#include <optional>

#include "codec/Utf.h"

namespace snh {

namespace {

constexpr std::size_t kUnicodeEscapeLength = 6;  // \uXXXX
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::string_view kReplacementEscape = "\\ufffd";

constexpr bool IsAscii(char byte) { return static_cast<unsigned char>(byte) < 0x80; }

// The code unit of the \uXXXX escape at `at`, if one is there.
std::optional<unsigned> UnicodeEscapeAt(std::string_view text, std::size_t at) {
  if (at + kUnicodeEscapeLength > text.size() || text[at] != '\\' || text[at + 1] != 'u') return std::nullopt;
  const char* digits = text.data() + at + 2;
  unsigned unit = 0;
  const auto [end, error] = std::from_chars(digits, digits + 4, unit, 16);
  if (error != std::errc{} || end != digits + 4) return std::nullopt;
  return unit;
}

std::size_t Copy(char* out, std::string_view bytes) {
  std::memcpy(out, bytes.data(), bytes.size());
  return bytes.size();
}

}  // namespace

RequestTextBuffer::RequestTextBuffer(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

RequestTextBuffer::int_type RequestTextBuffer::underflow() {
  char* const begin = block_.data();
  char* out = begin;
  while (next_ < text_.size() && out + kLongestPiece <= begin + block_.size()) out += CopyPiece(out);
  setg(begin, begin, out);
  return out == begin ? traits_type::eof() : traits_type::to_int_type(*begin);
}

std::size_t RequestTextBuffer::CopyPiece(char* out) {
  const char byte = text_[next_];
  if (!IsAscii(byte)) {
    const Utf8Sequence sequence = FirstUtf8Sequence(text_.substr(next_));
    const std::size_t start = next_;
    next_ += sequence.length;
    return Copy(out, sequence.wellFormed ? text_.substr(start, sequence.length) : kReplacementUtf8);
  }
  if (byte == '"') inString_ = !inString_;
  if (byte == '\\' && inString_) return CopyEscape(out);
  *out = byte;
  ++next_;
  return 1;
}

std::size_t RequestTextBuffer::CopyEscape(char* out) {
  const std::size_t start = next_;
  const std::optional<unsigned> unit = UnicodeEscapeAt(text_, start);
  if (!unit) {
    // A one-character escape such as \" passes whole, so its character neither opens nor closes a string.
    next_ += (next_ + 1 < text_.size() && IsAscii(text_[next_ + 1])) ? 2 : 1;
    return Copy(out, text_.substr(start, next_ - start));
  }
  next_ += kUnicodeEscapeLength;
  if (IsHighSurrogate(*unit)) {
    const std::optional<unsigned> low = UnicodeEscapeAt(text_, next_);
    if (low && IsLowSurrogate(*low)) {
      next_ += kUnicodeEscapeLength;
      return Copy(out, text_.substr(start, 2 * kUnicodeEscapeLength));
    }
  }
  if (IsHighSurrogate(*unit) || IsLowSurrogate(*unit)) return Copy(out, kReplacementEscape);
  return Copy(out, text_.substr(start, kUnicodeEscapeLength));
}

}  // namespace snh
