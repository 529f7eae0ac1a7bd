#pragma once

// A process-thread attribute list for STARTUPINFOEXW, deleted and freed by its owner.

#include <windows.h>

namespace snh {

class AttributeList {
 public:
  // Room for `count` attributes. Raises on failure.
  explicit AttributeList(DWORD count);
  ~AttributeList() { Free(); }
  AttributeList(const AttributeList&) = delete;
  AttributeList& operator=(const AttributeList&) = delete;

  // The list keeps `value` itself, not a copy: what it points to must outlive the process creation.
  void Set(DWORD_PTR attribute, void* value, SIZE_T size);
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }
  // Frees the list now, after the code of a failed call that used it has been read.
  void Free();

 private:
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace snh
