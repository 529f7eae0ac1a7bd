#pragma once

// Owners of the kernel objects the host uses. Every handle has exactly one of these from the moment
// it exists; nothing closes a handle by hand.

#include <windows.h>

#include <utility>

namespace snh {

using NativeHandle = HANDLE;

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE get() const { return handle_; }
  // Null and INVALID_HANDLE_VALUE both mean "no object".
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE* put() {
    reset();
    return &handle_;
  }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr);

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace snh
