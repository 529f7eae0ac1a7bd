#pragma once

// Raised when a request text does not decode. Carries a 32-bit code, like the platform JSON failures it
// stands in for; it is deliberately not a std::exception, so it never masquerades as a system failure.

#include <cstdint>

namespace snh {

class DecodeError {
 public:
  static constexpr std::uint32_t kFail = 0x80004005;  // E_FAIL: the text is not one JSON object

  explicit DecodeError(std::uint32_t code = kFail) : code_(code) {}
  std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_;
};

}  // namespace snh
