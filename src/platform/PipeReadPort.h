#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "PipeIo.h"

namespace snh {

// A flag another thread can wait for with poll(): once raised it stays raised.
class WakeSignal {
 public:
  WakeSignal();
  void Raise();
  // Readable once raised.
  NativeHandle fd() const { return read_.get(); }

 private:
  UniqueHandle read_, write_;
};

// Reads one fd, waiting in poll() beside a cancel signal. Does not own the fd. A cancel is sticky:
// every read after it ends at once, so no read can slip in after a stop. A pipe is made non-blocking
// and read before any wait, so a busy pipe costs one system call per chunk instead of two.
class PipeReadPort {
 public:
  explicit PipeReadPort(NativeHandle fd);

  ReadResult Read(std::span<char> buffer);
  // Always succeeds: returns 0.
  std::uint32_t Cancel();

  static constexpr const char* kCancelLabel = "CancelIoEx";

 private:
  NativeHandle fd_;
  bool readBeforeWaiting_ = false;
  std::atomic<bool> cancelRequested_{false};
  WakeSignal cancelled_;
};

}  // namespace snh
