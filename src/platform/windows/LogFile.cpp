#include "platform/LogFile.h"

#include <windows.h>

namespace snh {

UniqueHandle OpenLogFileHandle(const std::filesystem::path& file) {
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link at the name itself, which is then refused. Only appends:
  // several hosts may share the file. Opening a pipe or a device never waits; they are refused too.
  UniqueHandle handle(
      CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  /*lpSecurityAttributes=*/nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, /*hTemplateFile=*/nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!handle || GetFileType(handle.get()) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(handle.get(), &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return UniqueHandle();
  }
  return handle;
}

}  // namespace snh
