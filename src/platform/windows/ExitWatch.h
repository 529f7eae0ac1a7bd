#pragma once

// A thread-pool wait that runs a callback once when the client process ends.

#include <windows.h>

#include <functional>

#include "UniqueHandle.h"

namespace snh {

class ExitWatch {
 public:
  // Raises "RegisterWaitForSingleObject failed. ..." on failure.
  ExitWatch(NativeHandle process, std::function<void()> onExit);
  // Unregisters the wait and, if the callback is running, waits for it to finish: it uses objects
  // that its owner is about to destroy.
  ~ExitWatch();
  ExitWatch(const ExitWatch&) = delete;
  ExitWatch& operator=(const ExitWatch&) = delete;

 private:
  static void CALLBACK OnSignalled(void* context, BOOLEAN timedOut);

  std::function<void()> onExit_;
  HANDLE wait_ = nullptr;
};

}  // namespace snh
