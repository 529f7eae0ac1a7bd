#pragma once

// The writing side of one pipe as one writer thread sees it: whole writes that another thread can
// cancel. Does not own the pipe.

#include <memory>
#include <string_view>

#include "platform/PipeIo.h"

namespace snh {

class PipeWritePort {
 public:
  // On POSIX the pipe is made non-blocking (a blocking write could not be cancelled) and a full pipe
  // is waited for in poll(). Raises on failure.
  explicit PipeWritePort(NativeHandle pipe);
  ~PipeWritePort();
  PipeWritePort(const PipeWritePort&) = delete;
  PipeWritePort& operator=(const PipeWritePort&) = delete;

  WriteResult Write(std::string_view bytes);
  // Ends a write pending on the pipe. On POSIX the cancel is sticky: later writes end at once. On
  // Windows (CancelIoEx) a write that has not started yet is not affected.
  void Cancel();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
