#include "platform/WakeSignal.h"

#include <windows.h>

#include "platform/OsError.h"

namespace snh {

WakeSignal::WakeSignal()
    : handle_(CreateEventW(/*lpEventAttributes=*/nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE,
                           /*lpName=*/nullptr)) {
  if (!handle_) RaiseLastError("CreateEvent");
}

void WakeSignal::Raise() { SetEvent(handle_.get()); }

bool WakeSignal::IsRaised() const { return WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0; }

}  // namespace snh
