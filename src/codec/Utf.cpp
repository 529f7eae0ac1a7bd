#include "codec/Utf.h"

#include <cstdint>
#include <cstring>

namespace snh {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// One step of UTF-8 decoding. `length` bytes are consumed; when `wellFormed` is false they are one
// maximal subpart of an ill-formed sequence and stand for a single U+FFFD. `truncated` tells that the
// subpart is a valid start of a character that the input ended in the middle of.
struct Utf8Step {
  std::size_t length;
  char32_t codePoint;
  bool wellFormed;
  bool truncated;
};

// The well-formed byte sequences of UTF-8, by lead byte: total length and the range of the second byte.
// The narrowed second-byte ranges exclude overlong forms (E0, F0), surrogates (ED) and values above
// U+10FFFF (F4). 80..C1 and F5..FF never lead a sequence.
struct LeadByte {
  std::size_t length;
  unsigned char secondMin;
  unsigned char secondMax;
};

constexpr LeadByte ClassifyLead(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  return {0, 0, 0};
}

constexpr bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the character that starts at `bytes[0]`; `bytes` is not empty.
Utf8Step DecodeStep(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return {1, lead, true, false};
  const LeadByte shape = ClassifyLead(lead);
  if (shape.length == 0) return {1, kReplacementCharacter, false, false};

  char32_t codePoint = lead & (0xFF >> (shape.length + 1));
  for (std::size_t i = 1; i < shape.length; ++i) {
    if (i == bytes.size()) return {i, kReplacementCharacter, false, true};
    const auto byte = static_cast<unsigned char>(bytes[i]);
    const bool fits = i == 1 ? byte >= shape.secondMin && byte <= shape.secondMax : IsContinuation(byte);
    if (!fits) return {i, kReplacementCharacter, false, false};
    codePoint = (codePoint << 6) | (byte & 0x3F);
  }
  return {shape.length, codePoint, true, false};
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::u16string_view UpToNul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

// Length of the leading run of ASCII bytes, eight at a time where possible.
std::size_t AsciiRunLength(std::string_view bytes) {
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    if ((word & 0x8080808080808080ULL) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  return i;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

}  // namespace

std::u16string ToUtf16(std::string_view utf8) {
  const std::string_view bytes = UpToNul(utf8);
  std::u16string result;
  // Every byte yields at most one UTF-16 unit.
  result.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const Utf8Step step = DecodeStep(bytes.substr(i));
    i += step.length;
    AppendUtf16(result, step.codePoint);
  }
  return result;
}

void AppendUtf16(std::u16string& text, char32_t codePoint) {
  if (codePoint < 0x10000) {
    text.push_back(static_cast<char16_t>(codePoint));
    return;
  }
  const char32_t offset = codePoint - 0x10000;
  text.push_back(static_cast<char16_t>(0xD800 | (offset >> 10)));
  text.push_back(static_cast<char16_t>(0xDC00 | (offset & 0x3FF)));
}

std::string ToUtf8(std::u16string_view utf16) {
  const std::u16string_view units = UpToNul(utf16);
  std::string result;
  // Every unit yields at most three bytes (a surrogate pair: four bytes for two units).
  result.reserve(units.size() * 3);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      const char32_t codePoint = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      AppendUtf8(result, codePoint);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(result, kReplacementCharacter);
    } else {
      AppendUtf8(result, unit);
    }
  }
  return result;
}

std::string SanitizeUtf8(std::string_view text) {
  const std::string_view bytes = UpToNul(text);
  std::string result;
  result.reserve(bytes.size());
  // Valid runs are copied whole; only an ill-formed subpart breaks a run.
  std::size_t runStart = 0;
  std::size_t i = 0;
  while (i < bytes.size()) {
    i += AsciiRunLength(bytes.substr(i));
    if (i == bytes.size()) break;
    const Utf8Step step = DecodeStep(bytes.substr(i));
    if (!step.wellFormed) {
      result.append(bytes, runStart, i - runStart);
      result.append(kReplacementUtf8);
      runStart = i + step.length;
    }
    i += step.length;
  }
  result.append(bytes, runStart, bytes.size() - runStart);
  return result;
}

bool IsSanitizedUtf8(std::string_view text) {
  if (std::memchr(text.data(), '\0', text.size()) != nullptr) return false;
  for (std::size_t i = AsciiRunLength(text); i < text.size(); i += AsciiRunLength(text.substr(i))) {
    const Utf8Step step = DecodeStep(text.substr(i));
    if (!step.wellFormed) return false;
    i += step.length;
  }
  return true;
}

std::size_t CompleteUtf8PrefixLength(std::string_view bytes) {
  // A character is at most 4 bytes, so only a lead byte among the last 3 can start an unfinished one.
  // Lead bytes are never continuation bytes, so the nearest one starts the last character.
  const std::size_t lookBack = bytes.size() < 3 ? bytes.size() : 3;
  for (std::size_t back = 1; back <= lookBack; ++back) {
    const std::size_t start = bytes.size() - back;
    if (IsContinuation(static_cast<unsigned char>(bytes[start]))) continue;
    return DecodeStep(bytes.substr(start)).truncated ? start : bytes.size();
  }
  return bytes.size();
}

Utf8Sequence FirstUtf8Sequence(std::string_view bytes) {
  const Utf8Step step = DecodeStep(bytes);
  return {step.length, step.wellFormed};
}

}  // namespace snh
