#pragma once

// Helpers shared by the TerminalOutputProcessor tests and its fuzz target: the byte notation of the
// tables, a readable dump of bytes, the random input and chunking used by the split and differential
// tests, and what a stream fed in chunks comes to.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "output/TerminalOutputProcessor.h"

namespace snh::terminal_test {

// Bytes written as in the tables, tokens separated by single blanks and concatenated: ESC, BEL, NUL, SP,
// CR, LF, BS, TAB and DEL name one byte each, %XX is the byte XX in hexadecimal, and any other token
// stands for its own characters. Bytes("ESC [ 31m red") is "\x1b[31mred".
inline std::string Bytes(std::string_view notation) {
  struct Name {
    std::string_view name;
    char byte;
  };
  static constexpr Name kNames[] = {{"ESC", '\x1b'}, {"BEL", '\x07'}, {"NUL", '\0'},
                                    {"SP", ' '},     {"CR", '\r'},    {"LF", '\n'},
                                    {"BS", '\b'},    {"TAB", '\t'},   {"DEL", '\x7f'}};
  const auto hexValue = [](char digit) -> int {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
  };
  std::string bytes;
  while (!notation.empty()) {
    const std::size_t blank = notation.find(' ');
    const std::string_view token = notation.substr(0, blank);
    notation = blank == std::string_view::npos ? std::string_view{} : notation.substr(blank + 1);
    bool named = false;
    for (const Name& name : kNames) {
      if (token == name.name) {
        bytes += name.byte;
        named = true;
      }
    }
    if (named) continue;
    if (token.size() == 3 && token[0] == '%' && hexValue(token[1]) >= 0 && hexValue(token[2]) >= 0) {
      bytes += static_cast<char>(hexValue(token[1]) * 16 + hexValue(token[2]));
      continue;
    }
    bytes += token;
  }
  return bytes;
}

// The parts joined (instead of operator+ on temporaries, which trips GCC 12's -Wrestrict at -O3).
inline std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) joined += part;
  return joined;
}

// Printable ASCII as it is, ESC and BEL by name, other bytes as %XX: for failure messages.
inline std::string Show(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0x1b) {
      shown += "<ESC>";
    } else if (byte == 0x07) {
      shown += "<BEL>";
    } else if (byte >= 0x20 && byte < 0x7f && byte != '%') {
      shown += c;
    } else {
      shown += '%';
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    }
  }
  return shown;
}

inline std::size_t RandomBelow(std::mt19937_64& rng, std::size_t bound) {
  return static_cast<std::size_t>(rng() % bound);
}

// A random input of fewer than maxLength bytes (maxLength >= 1), rich in introducers, parameters,
// digits, terminators and bytes that break sequences, with whole fragments of real sequences mixed in.
inline std::string RandomTerminalInput(std::mt19937_64& rng, std::size_t maxLength) {
  static constexpr std::string_view kBytes[] = {"\x1b",
                                                "\x1b",
                                                "\x1b",
                                                "\x1b",
                                                "\x1b",
                                                "\x1b",
                                                "\x1b",
                                                "[",
                                                "[",
                                                "]",
                                                "]",
                                                "\x07",
                                                "\x07",
                                                "\\",
                                                "\\",
                                                "0",
                                                "1",
                                                "2",
                                                "2",
                                                "3",
                                                "4",
                                                "5",
                                                "6",
                                                "7",
                                                "8",
                                                "9",
                                                ";",
                                                ";",
                                                ";",
                                                "?",
                                                " ",
                                                "/",
                                                "@",
                                                "~",
                                                "m",
                                                "P",
                                                "(",
                                                "x",
                                                "Z",
                                                "^",
                                                "_",
                                                "!",
                                                ":",
                                                "\n",
                                                "\r",
                                                "\x7f",
                                                std::string_view("\0", 1),
                                                "\x80",
                                                "\x9c",
                                                "\xc3",
                                                "\xff"};
  static constexpr std::string_view kFragments[] = {
      "\x1b]0;",   "\x1b]2;",  "\x1b]1;",      "\x1b]",      "\x1b[",      "\x1b\\",     "\x1b[1;31m",
      "\x1b[?25l", "\x1b[2 q", "99999999999",  "2147483648", "2147483647", "4294967298", "00002",
      "0;",        "2;title",  "\x1b]0;t\x07", "\x1bP",      "\x1b(B",     "\x1b\x1b"};
  const std::size_t length = RandomBelow(rng, maxLength);
  std::string input;
  while (input.size() < length) {
    if (RandomBelow(rng, 6) == 0) {
      input += kFragments[RandomBelow(rng, std::size(kFragments))];
    } else {
      input += kBytes[RandomBelow(rng, std::size(kBytes))];
    }
  }
  input.resize(length);
  return input;
}

// Cuts `input` into chunks at random positions (empty chunks included); `allowed(k)` says whether a cut
// before byte k may be made.
template <typename Allowed>
std::vector<std::string> RandomChunks(std::mt19937_64& rng, const std::string& input, Allowed allowed) {
  std::vector<std::size_t> cuts;
  const std::size_t style = RandomBelow(rng, 8);
  if (style == 0) {
    for (std::size_t k = 1; k < input.size(); ++k) cuts.push_back(k);  // byte by byte
  } else {
    const std::size_t count = RandomBelow(rng, 2 * style + 1);
    for (std::size_t i = 0; i < count; ++i) cuts.push_back(RandomBelow(rng, input.size() + 1));
  }
  std::vector<std::size_t> kept;
  for (const std::size_t cut : cuts) {
    if (allowed(cut)) kept.push_back(cut);
  }
  std::sort(kept.begin(), kept.end());
  std::vector<std::string> chunks;
  std::size_t from = 0;
  for (const std::size_t cut : kept) {
    chunks.push_back(input.substr(from, cut - from));
    from = cut;
  }
  chunks.push_back(input.substr(from));
  return chunks;
}

// What a processor made of a stream fed to it chunk by chunk, and the held-back tails on the way.
struct StreamResult {
  std::string text;  // in total
  std::optional<std::string> lastTitle;
  std::string pending;  // held back at the end
  bool tailsStartWithEsc = true;
  std::size_t longestTail = 0;
};

inline StreamResult Feed(TerminalOutputProcessor& processor, const std::vector<std::string>& chunks) {
  StreamResult result;
  for (const std::string& chunk : chunks) {
    ProcessedOutput out = processor.Process(chunk);
    result.text += out.processedContent;
    if (out.windowTitle) result.lastTitle = std::move(out.windowTitle);
    const std::string& pending = processor.pendingSequence();
    result.tailsStartWithEsc = result.tailsStartWithEsc && (pending.empty() || pending[0] == '\x1b');
    result.longestTail = std::max(result.longestTail, pending.size());
  }
  result.pending = processor.pendingSequence();
  return result;
}

}  // namespace snh::terminal_test
