#include "platform/Wait.h"

#include <windows.h>

namespace snh {

WaitOutcome WaitForHandle(NativeHandle handle, const WakeSignal* wake, std::chrono::milliseconds timeout) {
  const DWORD milliseconds =
      timeout < std::chrono::milliseconds::zero() ? INFINITE : static_cast<DWORD>(timeout.count());
  // The wake first: with both signalled, the lower index is reported.
  const HANDLE handles[2] = {wake != nullptr ? wake->handle() : nullptr, handle};
  const DWORD count = wake != nullptr ? 2 : 1;
  const DWORD result = WaitForMultipleObjects(count, handles + (2 - count), /*bWaitAll=*/FALSE, milliseconds);
  if (result == WAIT_TIMEOUT) return WaitOutcome::kTimedOut;
  if (result == WAIT_OBJECT_0 + count - 1) return WaitOutcome::kReady;
  if (result == WAIT_OBJECT_0) return WaitOutcome::kWoken;
  return WaitOutcome::kFailed;
}

}  // namespace snh
