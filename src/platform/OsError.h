#pragma once

// Failed system calls become SystemError exceptions with "<label> failed. 0x<errno> <strerror text>",
// the same form as on Windows. errno is read right after the failing call.

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

namespace snh {

// strerror's text for an errno value.
std::string GetSystemErrorText(std::uint32_t code);

std::string SystemErrorMessage(std::string_view label, std::uint32_t code);

[[noreturn]] void RaiseSystemError(std::string_view label, std::uint32_t code);

[[noreturn]] inline void RaiseLastError(std::string_view label) {
  RaiseSystemError(label, static_cast<std::uint32_t>(errno));
}

// A diagnostic without a receiver: syslog at debug level.
void DebugOutput(std::string_view text);

}  // namespace snh
