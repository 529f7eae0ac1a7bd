#include "OsError.h"

#include <fmt/format.h>

#include "codec/SystemError.h"
#include "codec/WideText.h"

namespace snh {

namespace {

struct LocalBuffer {
  wchar_t* text = nullptr;
  ~LocalBuffer() { LocalFree(text); }
};

}  // namespace

std::string GetSystemErrorText(std::uint32_t code) {
  LocalBuffer buffer;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      /*lpSource=*/nullptr, code, /*dwLanguageId=*/0, reinterpret_cast<wchar_t*>(&buffer.text),
      /*nSize=*/0, /*Arguments=*/nullptr);
  if (length == 0) {
    const DWORD error = GetLastError();
    throw SystemError(fmt::format("Format message failed with {:#x}", error));
  }
  return ToUtf8(std::wstring_view(buffer.text, length));
}

std::string SystemErrorMessage(std::string_view label, std::uint32_t code) {
  return FormatSystemError(label, code, GetSystemErrorText(code));
}

void RaiseSystemError(std::string_view label, std::uint32_t code) {
  throw SystemError(SystemErrorMessage(label, code));
}

void DebugOutput(std::string_view utf8) { OutputDebugStringW(ToWide(utf8).c_str()); }

void ReportTeardownFailure(std::string_view label, std::uint32_t code) noexcept {
  try {
    DebugOutput(SystemErrorMessage(label, code));
  } catch (const std::exception& error) {
    OutputDebugStringA(error.what());
  } catch (...) {
    // Teardown goes on whatever happens to its diagnostics.
  }
}

}  // namespace snh
