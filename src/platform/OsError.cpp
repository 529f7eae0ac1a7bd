#include "platform/OsError.h"

#include "base/SystemError.h"

namespace snh {

std::string SystemErrorMessage(std::string_view label, std::uint32_t code) {
  return FormatSystemError(label, code, GetSystemErrorText(code));
}

void RaiseSystemError(std::string_view label, std::uint32_t code) {
  throw SystemError(SystemErrorMessage(label, code));
}

void ReportTeardownFailure(std::string_view label, std::uint32_t code) noexcept {
  try {
    DebugOutput(SystemErrorMessage(label, code));
  } catch (const std::exception& error) {
    try {
      DebugOutput(error.what());
    } catch (...) {
      // Teardown goes on whatever happens to its diagnostics.
    }
  } catch (...) {
  }
}

}  // namespace snh
