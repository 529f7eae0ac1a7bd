#pragma once

// The reading side of one pipe as one reader thread sees it: blocking reads that another thread can
// cancel. Does not own the pipe.

#include <cstdint>
#include <memory>
#include <span>

#include "platform/PipeIo.h"

namespace snh {

class PipeReadPort {
 public:
  // On POSIX the pipe (or pty master) is made non-blocking and read before any wait, so a busy pipe
  // costs one system call per chunk instead of two.
  explicit PipeReadPort(NativeHandle pipe);
  ~PipeReadPort();
  PipeReadPort(const PipeReadPort&) = delete;
  PipeReadPort& operator=(const PipeReadPort&) = delete;

  // Blocks until data arrives, every writer has gone, the pipe fails, or Cancel() ends the read.
  ReadResult Read(std::span<char> buffer);

  // Ends a read pending on the pipe. Returns 0, or the system's code when there was nothing to cancel
  // (ERROR_NOT_FOUND) or cancelling failed. On POSIX a cancel always succeeds and is sticky: every read
  // after it ends at once. On Windows (CancelIoEx) it ends only the read in progress.
  std::uint32_t Cancel();

  // The label of the cancel call in diagnostics.
  static constexpr const char* kCancelLabel = "CancelIoEx";

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
