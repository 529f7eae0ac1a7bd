#include "platform/PipeIo.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/OsError.h"
#include "platform/PipeReadPort.h"
#include "platform/PipeWritePort.h"
#include "platform/RetryOnInterrupt.h"
#include "platform/WakeSignal.h"
#include "platform/posix/Readiness.h"

namespace snh {

namespace {

bool MakeNonBlocking(NativeHandle fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Blocks SIGPIPE in the calling thread while it lives, so that a write to a pipe whose reader has gone
// fails with EPIPE whatever the process does with that signal; a SIGPIPE raised meanwhile is taken
// away again before the old mask comes back, so it is never delivered.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipeSignal_);
    sigaddset(&pipeSignal_, SIGPIPE);
    wasPending_ = Pending();
    pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;
  ~SigpipeBlock() {
    // sigwait takes a pending signal without waiting and is never interrupted.
    int taken = 0;
    if (!wasPending_ && Pending()) sigwait(&pipeSignal_, &taken);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  static bool Pending() {
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
  }

  sigset_t pipeSignal_;
  sigset_t previous_;
  bool wasPending_ = false;
};

}  // namespace

struct PipeReadPort::State {
  explicit State(NativeHandle pipe) : fd(pipe) {}

  NativeHandle fd;
  bool nonBlocking = false;
  std::atomic<bool> cancelRequested{false};
  WakeSignal cancelled;
};

PipeReadPort::PipeReadPort(NativeHandle fd) : state_(std::make_unique<State>(fd)) {
  // A pty master is shared with the input writer, which makes it non-blocking too.
  state_->nonBlocking = MakeNonBlocking(fd);
}

PipeReadPort::~PipeReadPort() = default;

ReadResult PipeReadPort::Read(std::span<char> buffer) {
  State& state = *state_;
  for (bool wait = !state.nonBlocking;; wait = true) {
    if (wait) {
      if (state.cancelRequested.load()) return {ReadOutcome::kCancelled, 0, 0};
      const WaitOutcome ready = WaitUntilReady(state.fd, POLLIN, &state.cancelled);
      if (ready == WaitOutcome::kWoken) {
        // What the pipe already holds, its end included, is still the reader's: a cancel that meets
        // the writer's exit must not hide that exit.
        if (!state.nonBlocking) return {ReadOutcome::kCancelled, 0, 0};
        const ReadResult last = ReadOnce(state.fd, buffer);
        if (last.outcome != ReadOutcome::kData || last.size != 0) return last;
        return {ReadOutcome::kCancelled, 0, 0};
      }
      if (ready == WaitOutcome::kFailed) return {ReadOutcome::kFailed, 0, static_cast<std::uint32_t>(errno)};
    }
    const ReadResult result = ReadOnce(state.fd, buffer);
    if (result.outcome != ReadOutcome::kData || result.size != 0) return result;
  }
}

std::size_t PipeReadPort::ReadWaiting(std::span<char> buffer) {
  // A blocking fd could wait; such a port takes one read a chunk.
  if (!state_->nonBlocking) return 0;
  const ReadResult result = ReadOnce(state_->fd, buffer);
  return result.outcome == ReadOutcome::kData ? result.size : 0;
}

ReadResult ReadOnce(NativeHandle fd, std::span<char> buffer) {
  const ssize_t count = RetryOnInterrupt([&] { return ::read(fd, buffer.data(), buffer.size()); });
  if (count > 0) return {ReadOutcome::kData, static_cast<std::size_t>(count), 0};
  if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {ReadOutcome::kData, 0, 0};
  // A pty master reads EIO once no process holds the terminal any more: its end of stream.
  if (count == 0 || errno == EIO) return {ReadOutcome::kEnded, 0, 0};
  return {ReadOutcome::kFailed, 0, static_cast<std::uint32_t>(errno)};
}

void PipeReadPort::Cancel() {
  state_->cancelRequested.store(true);
  state_->cancelled.Raise();
}

struct PipeWritePort::State {
  explicit State(NativeHandle pipe) : fd(pipe) {}

  NativeHandle fd;
  std::atomic<bool> cancelRequested{false};
  WakeSignal cancelled;
};

PipeWritePort::PipeWritePort(NativeHandle fd) : state_(std::make_unique<State>(fd)) {
  if (!MakeNonBlocking(fd)) RaiseLastError("fcntl O_NONBLOCK");
}

PipeWritePort::~PipeWritePort() = default;

WriteResult PipeWritePort::Write(std::string_view bytes) {
  State& state = *state_;
  SigpipeBlock block;
  while (!bytes.empty()) {
    if (state.cancelRequested.load()) return {WriteOutcome::kCancelled, 0};
    const ssize_t written = RetryOnInterrupt([&] { return ::write(state.fd, bytes.data(), bytes.size()); });
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno != EAGAIN) return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
    if (WaitUntilReady(state.fd, POLLOUT, &state.cancelled) == WaitOutcome::kFailed) {
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

// A non-blocking fd (the host's standard output may come so) waits for room instead of failing.
WriteResult WriteWhole(NativeHandle fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = RetryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitUntilReady(fd, POLLOUT) != WaitOutcome::kFailed) {
      continue;
    }
    return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
  }
  return {WriteOutcome::kDone, 0};
}

}  // namespace snh
