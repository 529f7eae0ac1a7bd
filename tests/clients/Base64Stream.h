#pragma once

// A long, reproducible base64 text, shared by the test client that writes it and the soak test that
// checks it arrived in order: the base64 form of a xorshift byte sequence with a fixed seed.

#include <cstddef>
#include <cstdint>
#include <string>

namespace snh::test_client {

class Base64Stream {
 public:
  // The next `count` characters of the text.
  std::string Next(std::size_t count) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve(count);
    while (text.size() < count) {
      if (quadAt_ == 4) {
        const std::uint32_t group = (NextByte() << 16) | (NextByte() << 8) | NextByte();
        for (int i = 0; i < 4; ++i) quad_[i] = kAlphabet[(group >> (18 - 6 * i)) & 0x3F];
        quadAt_ = 0;
      }
      text += quad_[quadAt_++];
    }
    return text;
  }

 private:
  std::uint32_t NextByte() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 56);
  }

  std::uint64_t state_ = 0x5eed'2026'1207'0001;
  char quad_[4] = {};
  int quadAt_ = 4;
};

}  // namespace snh::test_client
