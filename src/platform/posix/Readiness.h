#pragma once

// The poll behind WaitForHandle, for the fds that wait for room to write as well as for input.

#include <chrono>

#include "platform/Wait.h"

namespace snh {

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT) or has a hang-up or an error to report,
// which the next read or write then gives, as WaitForHandle does; EINTR is retried with the time left.
WaitOutcome WaitUntilReady(int fd, short events, const WakeSignal* wake = nullptr,
                           std::chrono::milliseconds timeout = kWaitForever);

}  // namespace snh
