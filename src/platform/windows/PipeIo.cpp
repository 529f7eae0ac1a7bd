#include "PipeIo.h"

#include <algorithm>

#include "OsError.h"

namespace snh {

ReadResult PipeReadPort::Read(std::span<char> buffer) {
  DWORD count = 0;
  if (ReadFile(pipe_, buffer.data(), static_cast<DWORD>(buffer.size()), &count, /*lpOverlapped=*/nullptr)) {
    return {ReadOutcome::kData, count, 0};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_OPERATION_ABORTED) return {ReadOutcome::kCancelled, 0, error};
  if (error == ERROR_BROKEN_PIPE) return {ReadOutcome::kEnded, 0, 0};
  return {ReadOutcome::kFailed, 0, error};
}

std::uint32_t PipeReadPort::Cancel() {
  if (CancelIoEx(pipe_, /*lpOverlapped=*/nullptr)) return 0;
  return GetLastError();
}

WriteResult PipeWritePort::Write(std::string_view bytes) {
  do {
    DWORD written = 0;
    const DWORD request = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(pipe_, bytes.data(), request, &written, /*lpOverlapped=*/nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_OPERATION_ABORTED) return {WriteOutcome::kCancelled, error};
      return {WriteOutcome::kFailed, error};
    }
    bytes.remove_prefix(written);
  } while (!bytes.empty());
  return {WriteOutcome::kDone, 0};
}

void PipeWritePort::Cancel() { CancelIoEx(pipe_, /*lpOverlapped=*/nullptr); }

bool PipeWritePort::IsClosedReader(std::uint32_t error) {
  return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

std::uint32_t WritePipe(NativeHandle pipe, std::string_view bytes, const char* label,
                        bool forgiveClosedReader) {
  do {
    DWORD written = 0;
    const DWORD request = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(pipe, bytes.data(), request, &written, /*lpOverlapped=*/nullptr)) {
      const DWORD error = GetLastError();
      if (forgiveClosedReader && PipeWritePort::IsClosedReader(error)) return error;
      RaiseSystemError(label, error);
    }
    bytes.remove_prefix(written);
  } while (!bytes.empty());
  return 0;
}

}  // namespace snh
