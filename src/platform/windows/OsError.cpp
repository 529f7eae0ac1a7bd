#include "platform/OsError.h"

#include <fmt/format.h>
#include <windows.h>

#include "base/SystemError.h"
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

void RaiseLastError(std::string_view label) { RaiseSystemError(label, GetLastError()); }

void DebugOutput(std::string_view utf8) { OutputDebugStringW(ToWide(utf8).c_str()); }

}  // namespace snh
