#include "platform/ExitWatch.h"

#include <windows.h>

#include "platform/OsError.h"

namespace snh {

struct ExitWatch::State {
  static void CALLBACK OnSignalled(void* context, BOOLEAN /*timedOut*/) {
    static_cast<State*>(context)->onExit();
  }

  std::function<void()> onExit;
  HANDLE wait = nullptr;
};

ExitWatch::ExitWatch(NativeHandle process, std::function<void()> onExit)
    : state_(std::make_unique<State>(std::move(onExit))) {
  if (!RegisterWaitForSingleObject(&state_->wait, process, &State::OnSignalled, state_.get(), INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    RaiseLastError("RegisterWaitForSingleObject");
  }
}

ExitWatch::~ExitWatch() {
  if (state_->wait != nullptr && !UnregisterWaitEx(state_->wait, /*CompletionEvent=*/INVALID_HANDLE_VALUE)) {
    ReportTeardownFailure("UnregisterWait", GetLastError());
  }
}

}  // namespace snh
