#pragma once

// Owner of a file descriptor. Every fd the host opens has exactly one of these from the moment it
// exists; nothing closes an fd by hand.

#include <utility>

namespace snh {

using NativeHandle = int;

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(int fd) : fd_(fd) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : fd_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

}  // namespace snh
