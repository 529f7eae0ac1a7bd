#include "platform/UniqueHandle.h"

#include <windows.h>

#include "platform/OsError.h"

namespace snh {

UniqueHandle::operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

void UniqueHandle::reset(NativeHandle handle) {
  HANDLE old = std::exchange(handle_, handle);
  if (old != nullptr && old != INVALID_HANDLE_VALUE && !CloseHandle(old)) {
    ReportTeardownFailure("CloseHandle", GetLastError());
  }
}

}  // namespace snh
