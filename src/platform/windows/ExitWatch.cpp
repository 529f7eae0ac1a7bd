#include "ExitWatch.h"

#include "OsError.h"

namespace snh {

ExitWatch::ExitWatch(NativeHandle process, std::function<void()> onExit) : onExit_(std::move(onExit)) {
  if (!RegisterWaitForSingleObject(&wait_, process, &ExitWatch::OnSignalled, this, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    RaiseLastError("RegisterWaitForSingleObject");
  }
}

ExitWatch::~ExitWatch() {
  if (wait_ != nullptr && !UnregisterWaitEx(wait_, /*CompletionEvent=*/INVALID_HANDLE_VALUE)) {
    ReportTeardownFailure("UnregisterWait", GetLastError());
  }
}

void CALLBACK ExitWatch::OnSignalled(void* context, BOOLEAN /*timedOut*/) {
  static_cast<ExitWatch*>(context)->onExit_();
}

}  // namespace snh
