#pragma once

// Failed system calls become SystemError exceptions with "<label> failed. 0x<code> <system text>".
// The code is read on the line after the failing call, before anything else can overwrite it.

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace snh {

// The system's message text for a Windows error code, as UTF-8, with its own line end. Raises
// SystemError "Format message failed with 0x<code>" when the system has no text for the code.
std::string GetSystemErrorText(std::uint32_t code);

// The full message for `label` and `code`.
std::string SystemErrorMessage(std::string_view label, std::uint32_t code);

// Raises the SystemError for `label` with `code` (usually GetLastError() read by the caller).
[[noreturn]] void RaiseSystemError(std::string_view label, std::uint32_t code);

// Reads GetLastError() and raises; call it right after the failing call.
[[noreturn]] inline void RaiseLastError(std::string_view label) { RaiseSystemError(label, GetLastError()); }

// A diagnostic without a receiver: the debugger output, as UTF-16, no line end added.
void DebugOutput(std::string_view utf8);

// Writes the message for a failed teardown step to the debugger output; never raises.
void ReportTeardownFailure(std::string_view label, std::uint32_t code) noexcept;

}  // namespace snh
