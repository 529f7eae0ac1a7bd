#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include "platform/posix/Readiness.h"
#include "platform/RetryOnInterrupt.h"

namespace snh {

void PrepareStandardStreams() {
  std::signal(SIGPIPE, SIG_IGN);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    const int flags = fcntl(fd, F_GETFD);
    if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
}

// A non-blocking input (its starter's choice, on a description the browser's end may share) waits
// for data instead of reading as ended.
std::size_t StandardInput::Read(char* buffer, std::size_t capacity) {
  for (;;) {
    const ssize_t count = RetryOnInterrupt(
        [&] { return ::read(STDIN_FILENO, buffer, std::min<std::size_t>(capacity, 1u << 30)); });
    if (count >= 0) return static_cast<std::size_t>(count);
    if ((errno != EAGAIN && errno != EWOULDBLOCK) ||
        WaitUntilReady(STDIN_FILENO, POLLIN) == WaitOutcome::kFailed)
      return 0;
  }
}

NativeHandle StandardHandle(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STDIN_FILENO;
    case StandardStream::kOutput:
      return STDOUT_FILENO;
    case StandardStream::kError:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace snh
