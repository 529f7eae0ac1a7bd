#include "platform/ExitWatch.h"

#include <windows.h>

#include <atomic>

#include "platform/OsError.h"
#include "platform/Wait.h"

namespace snh {

struct ExitWatch::State {
  State(NativeHandle watched, std::function<void()> callback)
      : process(watched), onExit(std::move(callback)) {}

  static void CALLBACK OnSignalled(void* context, BOOLEAN /*timedOut*/) {
    auto& state = *static_cast<State*>(context);
    state.ran.store(true);
    state.onExit();
  }

  NativeHandle process;
  std::function<void()> onExit;
  std::atomic<bool> ran{false};
  HANDLE wait = nullptr;
};

ExitWatch::ExitWatch(NativeHandle process, std::function<void()> onExit)
    : state_(std::make_unique<State>(process, std::move(onExit))) {
  if (!RegisterWaitForSingleObject(&state_->wait, process, &State::OnSignalled, state_.get(), INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    RaiseLastError("RegisterWaitForSingleObject");
  }
}

ExitWatch::~ExitWatch() {
  if (state_->wait != nullptr && !UnregisterWaitEx(state_->wait, /*CompletionEvent=*/INVALID_HANDLE_VALUE)) {
    ReportTeardownFailure("UnregisterWait", GetLastError());
  }
  // Unregistering drops a callback the pool had not started yet: an exit that has happened is reported
  // here instead, as the POSIX watch reports it.
  if (state_->wait != nullptr && !state_->ran.load() &&
      WaitForHandle(state_->process, nullptr, std::chrono::milliseconds(0)) == WaitOutcome::kReady) {
    state_->onExit();
  }
}

}  // namespace snh
