#pragma once

// Runs a callback once, on a thread of its own, when the client process ends.

#include <functional>
#include <thread>

#include "PipeIo.h"

namespace snh {

class ExitWatch {
 public:
  // `process` is the client's pidfd, readable once the client has ended.
  ExitWatch(NativeHandle process, std::function<void()> onExit);
  // Stops watching and, if the client has ended, lets the callback run to its end first: like a
  // thread-pool wait, the notice of an exit that has happened is not lost, and the callback uses
  // objects that the owner is about to destroy.
  ~ExitWatch();
  ExitWatch(const ExitWatch&) = delete;
  ExitWatch& operator=(const ExitWatch&) = delete;

 private:
  void Watch();

  NativeHandle process_;
  std::function<void()> onExit_;
  WakeSignal stop_;
  std::thread watcher_;
};

}  // namespace snh
