#pragma once

// The one wait of the platform layer: a handle, a wake signal beside it, a time limit. Readers and
// watchers wait here, so that a thread blocked on a pipe, a terminal or a process can always be woken
// by its owner.

#include <chrono>

#include "platform/UniqueHandle.h"
#include "platform/WakeSignal.h"

namespace snh {

enum class WaitOutcome { kReady, kWoken, kTimedOut, kFailed };

inline constexpr std::chrono::milliseconds kWaitForever{-1};

// Waits until `handle` is ready, `wake` (when given) is raised, or `timeout` has passed. Ready means
// readable, hung up or failed on POSIX (the next read says which), signalled on Windows (a process,
// an event, console input; not a pipe). The wake wins when both hold, so that a stream that never
// pauses cannot keep its reader from stopping. kFailed leaves the system's code in errno or
// GetLastError().
WaitOutcome WaitForHandle(NativeHandle handle, const WakeSignal* wake,
                          std::chrono::milliseconds timeout = kWaitForever);

}  // namespace snh
