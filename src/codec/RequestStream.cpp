#include "codec/RequestStream.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace snh {

namespace {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }

double NumberValue(const std::string& token, bool integer) {
  const char* const end = token.data() + token.size();
  if (integer && token.front() == '-') {
    std::int64_t value = 0;
    if (std::from_chars(token.data(), end, value).ec == std::errc{}) return static_cast<double>(value);
  } else if (integer) {
    std::uint64_t value = 0;
    if (std::from_chars(token.data(), end, value).ec == std::errc{}) return static_cast<double>(value);
  }
  return std::strtod(token.c_str(), nullptr);
}

}  // namespace

RequestStream::RequestStream(ByteSource& source) : text_(source) {
  // A byte-order mark may open the text; 0xEF there followed by anything else fails it.
  if (PeekText() == '\xEF') {
    for (const char expected : {'\xEF', '\xBB', '\xBF'}) {
      if (PeekText() != expected) {
        Fail();
        return;
      }
      text_.sbumpc();
    }
  }
  Advance();
}

std::size_t RequestStream::TakeDigits() {
  std::size_t count = 0;
  for (; IsDigit(PeekText()); ++count) TakeText();
  return count;
}

void RequestStream::StartNumber() {
  token_.assign(1, current_);
  if (ReadNumber())
    current_ = '0';
  else
    Fail();
}

bool RequestStream::ReadNumber() {
  bool integer = true;
  char lead = token_.front();
  if (lead == '-') {
    lead = PeekText();
    if (!IsDigit(lead)) return false;
    TakeText();
  }
  if (lead != '0') TakeDigits();
  if (PeekText() == '.') {
    integer = false;
    TakeText();
    if (TakeDigits() == 0) return false;
  }
  if (PeekText() == 'e' || PeekText() == 'E') {
    integer = false;
    TakeText();
    if (PeekText() == '+' || PeekText() == '-') TakeText();
    if (TakeDigits() == 0) return false;
  }
  // None of these can follow a number in valid JSON; refusing them here also keeps the parser from
  // reading the "0" on into a number of its own.
  const char next = PeekText();
  if (IsDigit(next) || next == '.' || next == 'e' || next == 'E' || next == '+' || next == '-') return false;
  number_ = NumberValue(token_, integer);
  return std::isfinite(number_);
}

}  // namespace snh
