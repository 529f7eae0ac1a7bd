#pragma once

// The reading side of one pipe as one reader thread sees it: blocking reads that another thread can
// cancel. Does not own the pipe.

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

  // Blocks until data arrives, every writer has gone, the pipe fails, or Cancel() ends the read. After
  // a cancel a read never waits: it still gives what the pipe already holds and its end, then kCancelled.
  ReadResult Read(std::span<char> buffer);

  // Reads what the pipe already holds, up to the buffer's size, without ever waiting: 0 when it holds
  // nothing (or has ended, or fails; the next Read tells which).
  std::size_t ReadWaiting(std::span<char> buffer);

  // Ends the read in progress, if any, and every wait after it; any thread. Returns once no read is
  // waiting in the system any more.
  void Cancel();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
