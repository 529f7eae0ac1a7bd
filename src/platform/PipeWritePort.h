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
  // is waited for in poll(); a reader that has gone fails the write (EPIPE) and raises no SIGPIPE,
  // whatever the process does with that signal. Raises on failure.
  explicit PipeWritePort(NativeHandle pipe);
  ~PipeWritePort();
  PipeWritePort(const PipeWritePort&) = delete;
  PipeWritePort& operator=(const PipeWritePort&) = delete;

  WriteResult Write(std::string_view bytes);
  // Ends the write in progress, if any, and every write after it (kCancelled); any thread. Returns once
  // no write is waiting in the system any more.
  void Cancel();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
