#pragma once

// The checkable output of the relay benchmark: lines of 64 printable bytes ending in CRLF, each
// numbered, repeating every kPatternPeriod bytes. A lost, repeated or reordered chunk shifts the
// numbers, so the consumer finds it by comparing with the pattern at the same offset.

#include <cstddef>
#include <cstdio>
#include <string>

namespace snh::bench {

inline constexpr std::size_t kPatternPeriod = 1 << 20;

inline std::string MakePattern() {
  constexpr std::size_t kLine = 64;
  std::string pattern;
  pattern.reserve(kPatternPeriod);
  char line[kLine + 1];
  for (std::size_t n = 0; pattern.size() < kPatternPeriod; ++n) {
    std::snprintf(line, sizeof line, "%06zu ", n);
    for (std::size_t i = 7; i < kLine - 2; ++i) line[i] = static_cast<char>('!' + (n + i) % 94);
    line[kLine - 2] = '\r';
    line[kLine - 1] = '\n';
    pattern.append(line, kLine);
  }
  return pattern;
}

}  // namespace snh::bench
