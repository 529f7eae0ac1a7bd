#include "platform/WakeSignal.h"

#include <windows.h>

#include "platform/OsError.h"
#include "platform/Wait.h"

namespace snh {

WakeSignal::WakeSignal()
    : handle_(CreateEventW(/*lpEventAttributes=*/nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE,
                           /*lpName=*/nullptr)) {
  if (!handle_) RaiseLastError("CreateEvent");
}

void WakeSignal::Raise() { SetEvent(handle_.get()); }

bool WakeSignal::IsRaised() const {
  return WaitForHandle(handle_.get(), nullptr, std::chrono::milliseconds(0)) == WaitOutcome::kReady;
}

}  // namespace snh
