#include "platform/ExitWatch.h"

#include <poll.h>

#include <cerrno>
#include <thread>

#include "platform/WakeSignal.h"

namespace snh {

struct ExitWatch::State {
  State(NativeHandle watched, std::function<void()> callback)
      : process(watched), onExit(std::move(callback)), watcher(&State::Watch, this) {}

  void Watch() {
    for (;;) {
      pollfd fds[2] = {{process, POLLIN, 0}, {stop.handle(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents != 0) {
        onExit();
        return;
      }
      if (fds[1].revents != 0) return;
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
