#pragma once

// Conversions between UTF-8 and UTF-16. Both stop at the first NUL and never fail: each maximal subpart
// of an ill-formed UTF-8 sequence (Unicode ch. 3, as browsers decode) and each unpaired surrogate becomes
// one U+FFFD. All text inside the host is UTF-8; UTF-16 is used only at system calls.

#include <cstddef>
#include <string>
#include <string_view>

namespace snh {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// The text up to its first NUL with every ill-formed UTF-8 sequence replaced by U+FFFD: exactly
// ToUtf8(ToUtf16(text)), without the detour.
std::string SanitizeUtf8(std::string_view text);
// Whether SanitizeUtf8 would return `text` unchanged: well-formed UTF-8 without NUL. Cheaper than the copy.
bool IsSanitizedUtf8(std::string_view text);

// Appends one code point (at most U+10FFFF) as one UTF-16 unit or a surrogate pair.
void AppendUtf16(std::u16string& text, char32_t codePoint);

// UTF-16 surrogates, for a code unit of any width (a \uXXXX escape's value too).
constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Length of the longest prefix of `bytes` that does not end inside a multi-byte character that the
// following bytes could still complete. At most 3 bytes are left over; an ill-formed tail is not held.
std::size_t CompleteUtf8PrefixLength(std::string_view bytes);

// What `bytes` (not empty) starts with: one character, or one ill-formed subpart standing for one U+FFFD.
struct Utf8Sequence {
  std::size_t length;
  bool wellFormed;
};
Utf8Sequence FirstUtf8Sequence(std::string_view bytes);

}  // namespace snh
