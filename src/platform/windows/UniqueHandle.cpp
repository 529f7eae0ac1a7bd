#include "UniqueHandle.h"

#include "OsError.h"

namespace snh {

void UniqueHandle::reset(HANDLE handle) {
  HANDLE old = std::exchange(handle_, handle);
  if (old != nullptr && old != INVALID_HANDLE_VALUE && !CloseHandle(old)) {
    ReportTeardownFailure("CloseHandle", GetLastError());
  }
}

}  // namespace snh
