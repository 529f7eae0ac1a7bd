#include "codec/JsonText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace snh {
namespace {

// The escape for each byte, or 0 for a byte copied as it is.
constexpr std::array<char, 256> kEscapes = [] {
  std::array<char, 256> escapes{};
  for (int byte = 0; byte < 0x20; ++byte) escapes[byte] = 'u';
  escapes['\b'] = 'b';
  escapes['\t'] = 't';
  escapes['\n'] = 'n';
  escapes['\f'] = 'f';
  escapes['\r'] = 'r';
  escapes['"'] = '"';
  escapes['\\'] = '\\';
  return escapes;
}();

// Whether any of the 8 bytes in `word` needs an escape: a byte below 0x20, a quote or a backslash.
// Exact for the word as a whole (the classic "has a zero byte" test), which is all the caller asks.
constexpr bool NeedsEscape(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  const auto hasZeroByte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHigh) != 0; };
  const bool hasControl = ((word - kOnes * 0x20) & ~word & kHigh) != 0;
  return hasControl || hasZeroByte(word ^ (kOnes * '"')) || hasZeroByte(word ^ (kOnes * '\\'));
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t runStart = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    // Most output has long runs with nothing to escape: skip them a word at a time.
    for (std::uint64_t word; i + sizeof word <= text.size(); i += sizeof word) {
      std::memcpy(&word, text.data() + i, sizeof word);
      if (NeedsEscape(word)) break;
    }
    for (const std::size_t blockEnd = std::min(i + sizeof(std::uint64_t), text.size()); i < blockEnd; ++i) {
      const char escape = kEscapes[static_cast<unsigned char>(text[i])];
      if (escape == 0) continue;
      out.append(text, runStart, i - runStart);
      runStart = i + 1;
      if (escape != 'u') {
        out += '\\';
        out += escape;
        continue;
      }
      constexpr char kHex[] = "0123456789abcdef";
      const auto byte = static_cast<unsigned char>(text[i]);
      const char unicode[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(unicode, sizeof unicode);
    }
  }
  out.append(text, runStart, text.size() - runStart);
  out += '"';
}

void AppendJsonInteger(std::string& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

}  // namespace snh
