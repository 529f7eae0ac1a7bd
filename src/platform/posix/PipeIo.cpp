#include "platform/PipeIo.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/OsError.h"
#include "platform/PipeReadPort.h"
#include "platform/PipeWritePort.h"
#include "platform/WakeSignal.h"
#include "platform/posix/Readiness.h"

namespace snh {

struct PipeReadPort::State {
  explicit State(NativeHandle pipe) : fd(pipe) {}

  NativeHandle fd;
  bool readBeforeWaiting = false;
  std::atomic<bool> cancelRequested{false};
  WakeSignal cancelled;
};

PipeReadPort::PipeReadPort(NativeHandle fd) : state_(std::make_unique<State>(fd)) {
  // A pty master is shared with the input writer, which makes it non-blocking too.
  const int flags = ::fcntl(fd, F_GETFL);
  state_->readBeforeWaiting = flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

PipeReadPort::~PipeReadPort() = default;

ReadResult PipeReadPort::Read(std::span<char> buffer) {
  State& state = *state_;
  for (bool wait = !state.readBeforeWaiting;; wait = true) {
    if (state.cancelRequested.load()) return {ReadOutcome::kCancelled, 0, 0};
    if (wait) {
      pollfd fds[2] = {{state.fd, POLLIN, 0}, {state.cancelled.handle(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return {ReadOutcome::kFailed, 0, static_cast<std::uint32_t>(errno)};
      }
      if (fds[1].revents != 0) return {ReadOutcome::kCancelled, 0, 0};
    }
    const ssize_t count = ::read(state.fd, buffer.data(), buffer.size());
    if (count > 0) return {ReadOutcome::kData, static_cast<std::size_t>(count), 0};
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // A pty master reads EIO once no process holds the terminal any more: its end of stream.
    if (count == 0 || errno == EIO) return {ReadOutcome::kEnded, 0, 0};
    return {ReadOutcome::kFailed, 0, static_cast<std::uint32_t>(errno)};
  }
}

std::uint32_t PipeReadPort::Cancel() {
  state_->cancelRequested.store(true);
  state_->cancelled.Raise();
  return 0;
}

struct PipeWritePort::State {
  explicit State(NativeHandle pipe) : fd(pipe) {}

  NativeHandle fd;
  std::atomic<bool> cancelRequested{false};
  WakeSignal cancelled;
};

PipeWritePort::PipeWritePort(NativeHandle fd) : state_(std::make_unique<State>(fd)) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) RaiseLastError("fcntl O_NONBLOCK");
}

PipeWritePort::~PipeWritePort() = default;

WriteResult PipeWritePort::Write(std::string_view bytes) {
  State& state = *state_;
  while (!bytes.empty()) {
    if (state.cancelRequested.load()) return {WriteOutcome::kCancelled, 0};
    const ssize_t written = ::write(state.fd, bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
    pollfd fds[2] = {{state.fd, POLLOUT, 0}, {state.cancelled.handle(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
      return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
    }
  }
  return {WriteOutcome::kDone, 0};
}

void PipeWritePort::Cancel() {
  state_->cancelRequested.store(true);
  state_->cancelled.Raise();
}

bool IsClosedReader(std::uint32_t error) { return error == EPIPE || error == EIO; }

bool WaitUntilReady(int fd, short events) {
  pollfd ready{fd, events, 0};
  for (;;) {
    if (::poll(&ready, 1, -1) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

// A non-blocking fd (the host's standard output may come so) waits for room instead of failing.
WriteResult WriteWhole(NativeHandle fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitUntilReady(fd, POLLOUT)) continue;
    return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
  }
  return {WriteOutcome::kDone, 0};
}

}  // namespace snh
