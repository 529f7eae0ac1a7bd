#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "PipeIo.h"
#include "PipeReadPort.h"

namespace snh {

// Writes one fd, waiting in poll() beside a cancel signal when it is full. Does not own the fd, but
// makes it non-blocking: a blocking write could not be cancelled. A cancel is sticky.
class PipeWritePort {
 public:
  explicit PipeWritePort(NativeHandle fd);

  WriteResult Write(std::string_view bytes);
  void Cancel();

  // Whether a failure means that nobody reads the other end any more.
  static bool IsClosedReader(std::uint32_t error);

 private:
  NativeHandle fd_;
  std::atomic<bool> cancelRequested_{false};
  WakeSignal cancelled_;
};

}  // namespace snh
