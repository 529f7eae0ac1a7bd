#pragma once

// Blocking reads that another thread can cancel, and whole writes, on pipe handles.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "UniqueHandle.h"

namespace snh {

enum class ReadOutcome { kData, kCancelled, kFailed };

struct ReadResult {
  ReadOutcome outcome;
  std::size_t size = 0;     // bytes read, for kData (may be 0)
  std::uint32_t error = 0;  // the system's code, for kFailed
};

// The reading side of one pipe as one reader thread sees it. Does not own the pipe.
class PipeReadPort {
 public:
  explicit PipeReadPort(NativeHandle pipe) : pipe_(pipe) {}

  // Blocks until data arrives, the pipe fails, or Cancel() ends the read.
  ReadResult Read(std::span<char> buffer);

  // Ends a read pending on the pipe. Returns 0, or the system's code when there was nothing to cancel
  // or cancelling failed.
  std::uint32_t Cancel();

  // The label of the cancel call in diagnostics.
  static constexpr const char* kCancelLabel = "CancelIoEx";
  // The code Cancel() returns when no read was pending.
  static constexpr std::uint32_t kNothingToCancel = ERROR_NOT_FOUND;

 private:
  NativeHandle pipe_;
};

// Writes all of `bytes` to the pipe (a zero-length write included). Raises with `label` on failure;
// the code is in the exception's text. Returns the system's code of a failure the caller may forgive
// (the reading end is gone) when `forgiveClosedReader` is set, else 0.
std::uint32_t WritePipe(NativeHandle pipe, std::string_view bytes, const char* label,
                        bool forgiveClosedReader);

}  // namespace snh
