#pragma once

// Waiting for an fd that is non-blocking, by our choice or by whoever handed it to us.

namespace snh {

// Waits until `fd` is ready for `events` (POLLIN, POLLOUT) or has a hang-up or an error to report, which
// the next read or write then gives; EINTR is retried. False, with errno set, when poll fails.
bool WaitUntilReady(int fd, short events);

}  // namespace snh
