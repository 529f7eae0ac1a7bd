#include "OsError.h"

#include <syslog.h>

#include <cstring>

#include "codec/SystemError.h"

namespace snh {

std::string GetSystemErrorText(std::uint32_t code) {
  char buffer[256];
  // The GNU form returns the text, in the buffer or a static string.
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

std::string SystemErrorMessage(std::string_view label, std::uint32_t code) {
  return FormatSystemError(label, code, GetSystemErrorText(code));
}

void RaiseSystemError(std::string_view label, std::uint32_t code) {
  throw SystemError(SystemErrorMessage(label, code));
}

void DebugOutput(std::string_view text) {
  syslog(LOG_DEBUG, "%.*s", static_cast<int>(text.size()), text.data());
}

}  // namespace snh
