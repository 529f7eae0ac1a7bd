#pragma once

// The owner of a kernel object: a Windows HANDLE or a POSIX file descriptor. Every handle the host
// opens has exactly one of these from the moment it exists; nothing closes a handle by hand.

#include <utility>

namespace snh {

#ifdef _WIN32
using NativeHandle = void*;  // HANDLE; null and INVALID_HANDLE_VALUE both mean "no object"
inline constexpr NativeHandle kNoHandle = nullptr;
#else
using NativeHandle = int;  // a file descriptor
inline constexpr NativeHandle kNoHandle = -1;
#endif

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(NativeHandle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  NativeHandle get() const { return handle_; }
  explicit operator bool() const;
  // For calls that return a new handle through a pointer.
  NativeHandle* put() {
    reset();
    return &handle_;
  }
  NativeHandle release() { return std::exchange(handle_, kNoHandle); }
  // Closes the handle held, if any. A failed close is reported on the debugger output on Windows; on
  // Linux the fd is released whatever close reports, so there is nothing to report or retry.
  void reset(NativeHandle handle = kNoHandle);

 private:
  NativeHandle handle_ = kNoHandle;
};

}  // namespace snh
