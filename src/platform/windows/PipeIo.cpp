#include "platform/PipeIo.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/OsError.h"
#include "platform/PipeReadPort.h"
#include "platform/PipeWritePort.h"

namespace snh {

namespace {

// One WriteFile call takes at most this much.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

// How often a cancel is repeated while the call it is meant for has not reached the system yet.
constexpr auto kCancelRetry = std::chrono::milliseconds(10);

// The cancel of a port's synchronous ReadFile or WriteFile. CancelIoEx ends only a call that is already
// waiting in the system: a thread that has tested the cancel flag but not yet entered its call would
// start it afterwards and wait for good. So the flag is set under the lock, each call is marked as under
// way under the same lock, and the cancel is repeated every kCancelRetry until no call is under way.
class CallCancel {
 public:
  explicit CallCancel(NativeHandle pipe) : pipe_(pipe) {}

  // False once cancelled; otherwise the call is marked under way until Finished().
  bool Begin() {
    std::lock_guard lock(mutex_);
    if (cancelled_) return false;
    underWay_ = true;
    return true;
  }
  void Finished() {
    {
      std::lock_guard lock(mutex_);
      underWay_ = false;
    }
    idle_.notify_all();
  }
  void Cancel() {
    std::unique_lock lock(mutex_);
    cancelled_ = true;
    while (underWay_) {
      // ERROR_NOT_FOUND: the call has not reached the system yet, or has just left it.
      if (!CancelIoEx(pipe_, /*lpOverlapped=*/nullptr) && GetLastError() != ERROR_NOT_FOUND) {
        DebugOutput(SystemErrorMessage("CancelIoEx", GetLastError()));
      }
      idle_.wait_for(lock, kCancelRetry);
    }
  }

 private:
  NativeHandle pipe_;
  std::mutex mutex_;
  std::condition_variable idle_;
  bool cancelled_ = false;  // guarded by mutex_
  bool underWay_ = false;   // guarded by mutex_
};

}  // namespace

WriteResult WriteWhole(NativeHandle pipe, std::string_view bytes) {
  do {
    DWORD written = 0;
    const DWORD request = static_cast<DWORD>(std::min(bytes.size(), kLargestWrite));
    if (!WriteFile(pipe, bytes.data(), request, &written, /*lpOverlapped=*/nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_OPERATION_ABORTED) return {WriteOutcome::kCancelled, error};
      return {WriteOutcome::kFailed, error};
    }
    bytes.remove_prefix(written);
  } while (!bytes.empty());
  return {WriteOutcome::kDone, 0};
}

struct PipeReadPort::State {
  explicit State(NativeHandle handle) : pipe(handle), cancel(handle) {}

  NativeHandle pipe;
  CallCancel cancel;
};

PipeReadPort::PipeReadPort(NativeHandle pipe) : state_(std::make_unique<State>(pipe)) {}

PipeReadPort::~PipeReadPort() = default;

ReadResult ReadOnce(NativeHandle pipe, std::span<char> buffer) {
  DWORD count = 0;
  if (ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &count, /*lpOverlapped=*/nullptr)) {
    return {ReadOutcome::kData, count, 0};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_OPERATION_ABORTED) return {ReadOutcome::kCancelled, 0, error};
  if (error == ERROR_BROKEN_PIPE) return {ReadOutcome::kEnded, 0, 0};
  return {ReadOutcome::kFailed, 0, error};
}

ReadResult PipeReadPort::Read(std::span<char> buffer) {
  State& state = *state_;
  if (state.cancel.Begin()) {
    const ReadResult result = ReadOnce(state.pipe, buffer);
    state.cancel.Finished();
    return result;
  }
  // Cancelled: what the pipe holds already, without waiting.
  DWORD available = 0;
  if (!PeekNamedPipe(state.pipe, nullptr, 0, nullptr, &available, nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_BROKEN_PIPE) return {ReadOutcome::kEnded, 0, 0};
    return {ReadOutcome::kFailed, 0, error};
  }
  if (available == 0) return {ReadOutcome::kCancelled, 0, 0};
  return ReadOnce(state.pipe, buffer.first(std::min<std::size_t>(buffer.size(), available)));
}

std::size_t PipeReadPort::ReadWaiting(std::span<char> buffer) {
  // A read of no more than the pipe holds returns at once.
  DWORD available = 0;
  if (!PeekNamedPipe(state_->pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return 0;
  const ReadResult result =
      ReadOnce(state_->pipe, buffer.first(std::min<std::size_t>(buffer.size(), available)));
  return result.outcome == ReadOutcome::kData ? result.size : 0;
}

void PipeReadPort::Cancel() { state_->cancel.Cancel(); }

struct PipeWritePort::State {
  explicit State(NativeHandle handle) : pipe(handle), cancel(handle) {}

  NativeHandle pipe;
  CallCancel cancel;
};

PipeWritePort::PipeWritePort(NativeHandle pipe) : state_(std::make_unique<State>(pipe)) {}

PipeWritePort::~PipeWritePort() = default;

WriteResult PipeWritePort::Write(std::string_view bytes) {
  State& state = *state_;
  if (!state.cancel.Begin()) return {WriteOutcome::kCancelled, 0};
  const WriteResult result = WriteWhole(state.pipe, bytes);
  state.cancel.Finished();
  return result;
}

void PipeWritePort::Cancel() { state_->cancel.Cancel(); }

bool IsClosedReader(std::uint32_t error) { return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE; }

}  // namespace snh
