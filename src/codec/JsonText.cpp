#include "codec/JsonText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>

#include "codec/Utf.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Appends `text` escaped, without quotes; `text` is valid UTF-8 without NUL.
void AppendEscaped(std::string& out, std::string_view text) {
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
}

constexpr std::size_t kLongestEscape = 6;  // \u00xx
constexpr std::size_t kBlock = 16;

// Bit i is set where byte i of the 16 at `bytes` is not copied as it is: below 0x20 (NUL included), a
// quote, a backslash, or not ASCII.
unsigned SpecialBytes(const char* bytes) {
#ifdef __SSE2__
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(block, _mm_set1_epi8(0x1F)), block);
  const __m128i quote = _mm_cmpeq_epi8(block, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'));
  // movemask of the block itself gives the bytes of 0x80 and above.
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(control, quote), backslash)) |
                               _mm_movemask_epi8(block));
#else
  unsigned mask = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x80 || kEscapes[byte] != 0) mask |= 1u << i;
  }
  return mask;
#endif
}

std::size_t WriteEscape(char* to, unsigned char byte) {
  const char escape = kEscapes[byte];
  to[0] = '\\';
  to[1] = escape;
  if (escape != 'u') return 2;
  constexpr char kHex[] = "0123456789abcdef";
  to[2] = '0';
  to[3] = '0';
  to[4] = kHex[byte >> 4];
  to[5] = kHex[byte & 0xF];
  return kLongestEscape;
}

// Appends the longest prefix of `text` that is ASCII without NUL, escaped, and returns its length.
// Written 16 bytes at a time through a pointer into room made up front: cheaper than an append per
// piece on output with a line end every few dozen bytes.
std::size_t AppendAsciiPrefix(std::string& out, std::string_view text) {
  // Every byte of a block escaped, and a whole block stored behind the last escape.
  constexpr std::size_t kBlockRoom = kBlock * kLongestEscape + kBlock;
  std::size_t used = out.size();
  out.resize(used + text.size() + kBlockRoom);
  std::size_t at = 0;
  while (text.size() - at >= kBlock) {
    if (out.size() - used < kBlockRoom) out.resize(std::max(out.size() * 2, used + kBlockRoom));
    char* to = out.data() + used;
    unsigned special = SpecialBytes(text.data() + at);
    if (special == 0) {
      std::memcpy(to, text.data() + at, kBlock);
      used += kBlock;
      at += kBlock;
      continue;
    }
    // The pieces between special bytes are each stored as a whole block, of which only the piece is
    // kept; the block is padded so that a store from any offset stays inside it.
    char block[2 * kBlock] = {};
    std::memcpy(block, text.data() + at, kBlock);
    std::size_t done = 0;
    for (; special != 0; special &= special - 1) {
      const auto next = static_cast<std::size_t>(std::countr_zero(special));
      std::memcpy(to, block + done, kBlock);
      to += next - done;
      done = next;
      const auto byte = static_cast<unsigned char>(block[next]);
      if (byte >= 0x80 || byte == 0) break;
      to += WriteEscape(to, byte);
      ++done;
    }
    if (special == 0) {
      std::memcpy(to, block + done, kBlock);
      to += kBlock - done;
      done = kBlock;
    }
    used = static_cast<std::size_t>(to - out.data());
    at += done;
    if (done < kBlock) break;
  }
  for (; at < text.size(); ++at) {
    if (out.size() - used < kLongestEscape) out.resize(std::max(out.size() * 2, used + kLongestEscape));
    char* const to = out.data() + used;
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80 || byte == 0) break;
    if (kEscapes[byte] == 0) {
      *to = static_cast<char>(byte);
      ++used;
    } else {
      used += WriteEscape(to, byte);
    }
  }
  out.resize(used);
  return at;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  AppendEscaped(out, text);
  out += '"';
}

void AppendJsonText(std::string& out, std::string_view text) {
  out += '"';
  // Client output is mostly ASCII; from its first other byte on, the text is sanitized and escaped.
  const std::string_view rest = text.substr(AppendAsciiPrefix(out, text));
  if (!rest.empty() && rest.front() != '\0') {
    if (IsSanitizedUtf8(rest)) {
      AppendEscaped(out, rest);
    } else {
      AppendEscaped(out, SanitizeUtf8(rest));
    }
  }
  out += '"';
}

void AppendJsonInteger(std::string& out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

std::string LoggedText(std::string_view text) {
  // A request type or a program path is far shorter.
  constexpr std::size_t kLoggedTextBytes = 256;
  std::string quoted;
  const bool cut = text.size() > kLoggedTextBytes;
  AppendJsonText(quoted, text.substr(0, kLoggedTextBytes));
  if (cut) quoted += "...";
  return quoted;
}

}  // namespace snh
