#include "PipeIo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "OsError.h"

namespace snh {

WakeSignal::WakeSignal() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) RaiseLastError("CreatePipe wake signal");
  read_.reset(ends[0]);
  write_.reset(ends[1]);
}

void WakeSignal::Raise() {
  const char byte = 0;
  // A full pipe is raised already.
  [[maybe_unused]] const ssize_t written = ::write(write_.get(), &byte, 1);
}

PipeReadPort::PipeReadPort(NativeHandle fd) : fd_(fd) {
  // Only a pipe: its read end is the reader's alone. A pty master is shared with the input writer,
  // which sets the flags it needs itself.
  struct stat status {};
  if (::fstat(fd_, &status) != 0 || !S_ISFIFO(status.st_mode)) return;
  const int flags = ::fcntl(fd_, F_GETFL);
  readBeforeWaiting_ = flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
}

ReadResult PipeReadPort::Read(std::span<char> buffer) {
  for (bool wait = !readBeforeWaiting_;; wait = true) {
    if (cancelRequested_.load()) return {ReadOutcome::kCancelled, 0, 0};
    if (wait) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelled_.fd(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return {ReadOutcome::kFailed, 0, static_cast<std::uint32_t>(errno)};
      }
      if (fds[1].revents != 0) return {ReadOutcome::kCancelled, 0, 0};
    }
    const ssize_t count = ::read(fd_, buffer.data(), buffer.size());
    if (count > 0) return {ReadOutcome::kData, static_cast<std::size_t>(count), 0};
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // A pty master reads EIO once no process holds the terminal any more: its end of stream.
    if (count == 0 || errno == EIO) return {ReadOutcome::kEnded, 0, 0};
    return {ReadOutcome::kFailed, 0, static_cast<std::uint32_t>(errno)};
  }
}

std::uint32_t PipeReadPort::Cancel() {
  cancelRequested_.store(true);
  cancelled_.Raise();
  return 0;
}

PipeWritePort::PipeWritePort(NativeHandle fd) : fd_(fd) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) RaiseLastError("fcntl O_NONBLOCK");
}

WriteResult PipeWritePort::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    if (cancelRequested_.load()) return {WriteOutcome::kCancelled, 0};
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelled_.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
      return {WriteOutcome::kFailed, static_cast<std::uint32_t>(errno)};
    }
  }
  return {WriteOutcome::kDone, 0};
}

void PipeWritePort::Cancel() {
  cancelRequested_.store(true);
  cancelled_.Raise();
}

bool PipeWritePort::IsClosedReader(std::uint32_t error) { return error == EPIPE || error == EIO; }

std::uint32_t WritePipe(NativeHandle fd, std::string_view bytes, const char* label,
                        bool forgiveClosedReader) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (errno == EINTR) continue;
    const auto error = static_cast<std::uint32_t>(errno);
    if (forgiveClosedReader && PipeWritePort::IsClosedReader(error)) return error;
    RaiseSystemError(label, error);
  }
  return 0;
}

}  // namespace snh
