#pragma once

// The text the test client floods a stream with, shared with the tests that check it arrived whole:
// lines of 16 bytes, "o" or "e" (the stream), a 14-digit line number and LF, so a lost, repeated or
// reordered byte shows in the line where it happened.

#include <cstddef>
#include <string>

namespace snh::test_client {

// Bytes [from, from + count) of the stream's flood text.
inline std::string FloodText(char stream, std::size_t from, std::size_t count) {
  constexpr std::size_t kLine = 16;
  std::string text;
  text.reserve(count + 2 * kLine);
  for (std::size_t line = from / kLine; text.size() < count + from % kLine; ++line) {
    const std::string number = std::to_string(line);
    text += stream;
    text.append(14 - number.size(), '0');
    text += number;
    text += '\n';
  }
  return text.substr(from % kLine, count);
}

}  // namespace snh::test_client
