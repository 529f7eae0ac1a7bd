#include "platform/Wait.h"

#include <poll.h>

#include <algorithm>

#include "platform/posix/Readiness.h"
#include "platform/RetryOnInterrupt.h"

namespace snh {

WaitOutcome WaitUntilReady(int fd, short events, const WakeSignal* wake, std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  // poll skips an entry whose fd is negative.
  pollfd fds[2] = {{fd, events, 0}, {wake != nullptr ? wake->handle() : -1, POLLIN, 0}};
  const int ready = RetryOnInterrupt([&] {
    if (timeout < std::chrono::milliseconds::zero()) return ::poll(fds, 2, -1);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return ::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
  });
  if (ready < 0) return WaitOutcome::kFailed;
  if (fds[1].revents != 0) return WaitOutcome::kWoken;
  return ready == 0 ? WaitOutcome::kTimedOut : WaitOutcome::kReady;
}

WaitOutcome WaitForHandle(NativeHandle handle, const WakeSignal* wake, std::chrono::milliseconds timeout) {
  return WaitUntilReady(handle, POLLIN, wake, timeout);
}

}  // namespace snh
