#pragma once

// A flag that a thread waiting on a handle can wait for beside it (in poll() on POSIX, in
// WaitForMultipleObjects on Windows): once raised it stays raised, so that no wait can slip in after
// it. An eventfd on Linux, a manual-reset event on Windows.

#include "platform/UniqueHandle.h"

namespace snh {

class WakeSignal {
 public:
  // Raises "CreateEvent failed. ..." on failure.
  WakeSignal();
  // Any thread.
  void Raise();
  bool IsRaised() const;
  // Readable (POSIX) or signalled (Windows) once raised.
  NativeHandle handle() const { return handle_.get(); }

 private:
  UniqueHandle handle_;
};

}  // namespace snh
