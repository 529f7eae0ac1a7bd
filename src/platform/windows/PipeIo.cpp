#include "platform/PipeIo.h"

#include <windows.h>

#include <algorithm>

#include "platform/OsError.h"
#include "platform/PipeReadPort.h"
#include "platform/PipeWritePort.h"

namespace snh {

namespace {

// One WriteFile call takes at most this much.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

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
  NativeHandle pipe;
};

PipeReadPort::PipeReadPort(NativeHandle pipe) : state_(std::make_unique<State>(pipe)) {}

PipeReadPort::~PipeReadPort() = default;

ReadResult PipeReadPort::Read(std::span<char> buffer) {
  DWORD count = 0;
  if (ReadFile(state_->pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &count,
               /*lpOverlapped=*/nullptr)) {
    return {ReadOutcome::kData, count, 0};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_OPERATION_ABORTED) return {ReadOutcome::kCancelled, 0, error};
  if (error == ERROR_BROKEN_PIPE) return {ReadOutcome::kEnded, 0, 0};
  return {ReadOutcome::kFailed, 0, error};
}

std::uint32_t PipeReadPort::Cancel() {
  if (CancelIoEx(state_->pipe, /*lpOverlapped=*/nullptr)) return 0;
  return GetLastError();
}

struct PipeWritePort::State {
  NativeHandle pipe;
};

PipeWritePort::PipeWritePort(NativeHandle pipe) : state_(std::make_unique<State>(pipe)) {}

PipeWritePort::~PipeWritePort() = default;

WriteResult PipeWritePort::Write(std::string_view bytes) { return WriteWhole(state_->pipe, bytes); }

void PipeWritePort::Cancel() { CancelIoEx(state_->pipe, /*lpOverlapped=*/nullptr); }

bool IsClosedReader(std::uint32_t error) { return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE; }

}  // namespace snh
