#pragma once

// Raised when a request text does not decode. Carries a 32-bit code, like the platform JSON failures it
// stands in for; it is deliberately not a std::exception, so it never masquerades as a system failure.

#include <cstdint>

namespace snh {

class DecodeError {
 public:
  // E_FAIL: the text is not one JSON object (or nests deeper than the decoder accepts).
  static constexpr std::uint32_t kFail = 0x80004005;
  // WEB_E_JSON_VALUE_NOT_FOUND: a required key is missing.
  static constexpr std::uint32_t kValueNotFound = 0x83750009;
  // E_ILLEGAL_METHOD_CALL: a key holds another JSON type than the one read, null included.
  static constexpr std::uint32_t kWrongType = 0x8000000E;

  explicit DecodeError(std::uint32_t code = kFail) : code_(code) {}
  std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_;
};

}  // namespace snh
