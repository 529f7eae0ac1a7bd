#pragma once

// Failed system calls become SystemError exceptions with "<label> failed. 0x<code> <system text>", the
// same form on every platform: the code is an errno value on POSIX, a Windows error code on Windows.
// The code is read right after the failing call, before anything else can overwrite it.

#include <cstdint>
#include <string>
#include <string_view>

namespace snh {

// The system's text for an error code, as UTF-8: strerror's on POSIX; FormatMessage's on Windows, with
// its own line end (raises SystemError "Format message failed with 0x<code>" when it has none).
std::string GetSystemErrorText(std::uint32_t code);

// The full message for `label` and `code`.
std::string SystemErrorMessage(std::string_view label, std::uint32_t code);

// Raises the SystemError for `label` with `code`.
[[noreturn]] void RaiseSystemError(std::string_view label, std::uint32_t code);

// Raises with the code of the call that has just failed (errno, GetLastError()).
[[noreturn]] void RaiseLastError(std::string_view label);

// A diagnostic without a receiver: the debugger output on Windows (as UTF-16, no line end added),
// syslog at debug level on POSIX.
void DebugOutput(std::string_view utf8);

// Writes the message for a failed teardown step to the debugger output; never raises.
void ReportTeardownFailure(std::string_view label, std::uint32_t code) noexcept;

}  // namespace snh
