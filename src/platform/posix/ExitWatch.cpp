#include "platform/ExitWatch.h"

#include <chrono>
#include <thread>

#include "platform/Wait.h"

namespace snh {

struct ExitWatch::State {
  State(NativeHandle watched, std::function<void()> callback)
      : process(watched), onExit(std::move(callback)), watcher(&State::Watch, this) {}

  // A client that has ended is reported even when the stop comes as early: the stop ends only the wait.
  void Watch() {
    const WaitOutcome outcome = WaitForHandle(process, &stop);
    if (outcome == WaitOutcome::kReady ||
        (outcome == WaitOutcome::kWoken &&
         WaitForHandle(process, nullptr, std::chrono::milliseconds(0)) == WaitOutcome::kReady)) {
      onExit();
    }
  }

  NativeHandle process;
  std::function<void()> onExit;
  WakeSignal stop;
  std::thread watcher;  // last, so that it starts after everything it uses exists
};

ExitWatch::ExitWatch(NativeHandle process, std::function<void()> onExit)
    : state_(std::make_unique<State>(process, std::move(onExit))) {}

ExitWatch::~ExitWatch() {
  state_->stop.Raise();
  if (state_->watcher.joinable()) state_->watcher.join();
}

}  // namespace snh
