#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "PipeIo.h"

namespace snh {

// Reads one pipe synchronously; another thread cancels a pending read with CancelIoEx. Does not own
// the pipe.
class PipeReadPort {
 public:
  explicit PipeReadPort(NativeHandle pipe) : pipe_(pipe) {}

  // Blocks until data arrives, every writer has gone, the pipe fails, or Cancel() ends the read.
  ReadResult Read(std::span<char> buffer);

  // Ends a read pending on the pipe. Returns 0, or the system's code when there was nothing to cancel
  // (ERROR_NOT_FOUND) or cancelling failed.
  std::uint32_t Cancel();

  // The label of the cancel call in diagnostics.
  static constexpr const char* kCancelLabel = "CancelIoEx";

 private:
  NativeHandle pipe_;
};

}  // namespace snh
