#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "PipeIo.h"

namespace snh {

// Writes one pipe synchronously; another thread cancels a pending write with CancelIoEx. Does not own
// the pipe.
class PipeWritePort {
 public:
  explicit PipeWritePort(NativeHandle pipe) : pipe_(pipe) {}

  WriteResult Write(std::string_view bytes);
  // Ends a write pending on the pipe; a write that has not started yet is not affected.
  void Cancel();

  // Whether a failure means that nobody reads the other end any more.
  static bool IsClosedReader(std::uint32_t error);

 private:
  NativeHandle pipe_;
};

}  // namespace snh
