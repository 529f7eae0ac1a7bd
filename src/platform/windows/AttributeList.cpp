#include "platform/windows/AttributeList.h"

#include <utility>

#include "base/SystemError.h"
#include "platform/OsError.h"

namespace snh {

AttributeList::AttributeList(DWORD count) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(/*lpAttributeList=*/nullptr, count, /*dwFlags=*/0, &size);
  auto* list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(HeapAlloc(GetProcessHeap(), /*dwFlags=*/0, size));
  if (list == nullptr) throw SystemError("Out of memory");
  if (!InitializeProcThreadAttributeList(list, count, /*dwFlags=*/0, &size)) {
    const DWORD error = GetLastError();
    HeapFree(GetProcessHeap(), /*dwFlags=*/0, list);
    RaiseSystemError("InitializeProcThreadAttributeList", error);
  }
  list_ = list;
}

void AttributeList::Set(DWORD_PTR attribute, void* value, SIZE_T size) {
  if (!UpdateProcThreadAttribute(list_, /*dwFlags=*/0, attribute, value, size, /*lpPreviousValue=*/nullptr,
                                 /*lpReturnSize=*/nullptr)) {
    RaiseLastError("UpdateProcThreadAttribute");
  }
}

void AttributeList::Free() {
  if (list_ == nullptr) return;
  DeleteProcThreadAttributeList(list_);
  HeapFree(GetProcessHeap(), /*dwFlags=*/0, std::exchange(list_, nullptr));
}

}  // namespace snh
