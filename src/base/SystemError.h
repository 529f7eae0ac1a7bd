#pragma once

// The one form of every reported system failure: "<label> failed. <code as {:#x}> <system text>".

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace snh {

// "<label> failed. 0x<hex> <text>": the code in lowercase hex without leading zeros, the text whole
// (with the line end the system puts at its end).
std::string FormatSystemError(std::string_view label, std::uint32_t code, std::string_view systemText);

// The same for an HRESULT, written as a signed number: 0x80070057 gives "-0x7ff8ffa9".
std::string FormatSystemErrorHresult(std::string_view label, std::int32_t hresult,
                                     std::string_view systemText);

// The carrier of every raised system failure: a runtime error whose text is the formatted message.
class SystemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace snh
