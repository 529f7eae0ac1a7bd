#include "codec/RequestText.h"

#include <algorithm>
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

RequestTextBuffer::RequestTextBuffer(ByteSource& source) : source_(source) {}

void RequestTextBuffer::Refill() {
  std::memmove(raw_.data(), raw_.data() + rawNext_, rawEnd_ - rawNext_);
  rawEnd_ -= rawNext_;
  rawNext_ = 0;
  while (!sourceEnded_ && rawEnd_ < kLongestPiece) {
    const std::size_t count = source_.Read(raw_.data() + rawEnd_, raw_.size() - rawEnd_);
    const std::string_view read(raw_.data() + rawEnd_, count);
    const std::size_t nul = read.find('\0');
    rawEnd_ += std::min(nul, count);
    sourceEnded_ = count == 0 || nul != std::string_view::npos;
  }
}

RequestTextBuffer::int_type RequestTextBuffer::underflow() {
  char* const begin = block_.data();
  char* out = begin;
  while (out + kLongestPiece <= begin + block_.size()) {
    if (Pending().size() < kLongestPiece && !sourceEnded_) Refill();
    if (Pending().empty()) break;
    out += CopyPiece(out);
  }
  setg(begin, begin, out);
  return out == begin ? traits_type::eof() : traits_type::to_int_type(*begin);
}

std::size_t RequestTextBuffer::CopyPiece(char* out) {
  const std::string_view text = Pending();
  const char byte = text.front();
  if (!IsAscii(byte)) {
    const Utf8Sequence sequence = FirstUtf8Sequence(text);
    rawNext_ += sequence.length;
    return Copy(out, sequence.wellFormed ? text.substr(0, sequence.length) : kReplacementUtf8);
  }
  if (byte == '"') inString_ = !inString_;
  if (byte == '\\' && inString_) return CopyEscape(out);
  *out = byte;
  ++rawNext_;
  return 1;
}

std::size_t RequestTextBuffer::CopyEscape(char* out) {
  const std::string_view text = Pending();
  const std::optional<unsigned> unit = UnicodeEscapeAt(text, 0);
  if (!unit) {
    // A one-character escape such as \" passes whole, so its character neither opens nor closes a string.
    const std::size_t length = (text.size() > 1 && IsAscii(text[1])) ? 2 : 1;
    rawNext_ += length;
    return Copy(out, text.substr(0, length));
  }
  if (IsHighSurrogate(*unit)) {
    const std::optional<unsigned> low = UnicodeEscapeAt(text, kUnicodeEscapeLength);
    if (low && IsLowSurrogate(*low)) {
      rawNext_ += 2 * kUnicodeEscapeLength;
      return Copy(out, text.substr(0, 2 * kUnicodeEscapeLength));
    }
  }
  rawNext_ += kUnicodeEscapeLength;
  if (IsHighSurrogate(*unit) || IsLowSurrogate(*unit)) return Copy(out, kReplacementEscape);
  return Copy(out, text.substr(0, kUnicodeEscapeLength));
}

}  // namespace snh
