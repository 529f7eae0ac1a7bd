#pragma once

// Runs a callback once when the client process ends: a thread-pool wait on Windows, a thread of its own
// polling the pidfd on POSIX.

#include <functional>
#include <memory>

#include "platform/UniqueHandle.h"

namespace snh {

class ExitWatch {
 public:
  // `process` is ClientProcess::handle(), signalled (readable) once the client has ended. Raises
  // "RegisterWaitForSingleObject failed. ..." on failure.
  ExitWatch(NativeHandle process, std::function<void()> onExit);
  // Stops watching and, if the client has ended, waits for the callback to finish (running it here if
  // it had not started): the notice of an exit that has happened is not lost, and the callback uses
  // objects that the owner is about to destroy.
  ~ExitWatch();
  ExitWatch(const ExitWatch&) = delete;
  ExitWatch& operator=(const ExitWatch&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
