#include "platform/ExecutableVersion.h"

#include <fmt/format.h>
#include <windows.h>

#include <vector>

#include "base/SystemError.h"
#include "platform/OsError.h"

namespace snh {

namespace {

constexpr DWORD kMaxPathCharacters = 65536;

std::wstring ExecutablePath() {
  std::wstring path(256, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    if (QueryFullProcessImageNameW(GetCurrentProcess(), /*dwFlags=*/0, path.data(), &size)) {
      path.resize(size);
      return path;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) RaiseSystemError("QueryFullProcessImageName", error);
    if (path.size() * 2 > kMaxPathCharacters) {
      const DWORD code = GetLastError();
      throw SystemError(fmt::format("Cannot file version. {:#x} {:s}", code, GetSystemErrorText(code)));
    }
    path.assign(path.size() * 2, L'\0');
  }
}

}  // namespace

std::string GetExecutableVersion() {
  const std::wstring path = ExecutablePath();
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), /*lpdwHandle=*/nullptr);
  if (size == 0) RaiseLastError("GetFileVersionInfoSize");
  std::vector<unsigned char> block(size, 0);
  if (!GetFileVersionInfoW(path.c_str(), /*dwHandle=*/0, size, block.data()))
    RaiseLastError("GetFileVersionInfo");
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize)) {
    RaiseLastError("VerQueryValue");
  }
  return fmt::format("{:d}.{:d}.{:d}.{:d}", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                     HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}

}  // namespace snh
