#include "platform/OsError.h"

#include <syslog.h>

#include <cerrno>
#include <cstring>

namespace snh {

std::string GetSystemErrorText(std::uint32_t code) {
  char buffer[256];
  // The GNU form returns the text, in the buffer or a static string.
  return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

void RaiseLastError(std::string_view label) { RaiseSystemError(label, static_cast<std::uint32_t>(errno)); }

void DebugOutput(std::string_view utf8) {
  syslog(LOG_DEBUG, "%.*s", static_cast<int>(utf8.size()), utf8.data());
}

}  // namespace snh
