#include "ExitWatch.h"

#include <poll.h>

#include <cerrno>

namespace snh {

ExitWatch::ExitWatch(NativeHandle process, std::function<void()> onExit)
    : process_(process), onExit_(std::move(onExit)), watcher_(&ExitWatch::Watch, this) {}

ExitWatch::~ExitWatch() {
  stop_.Raise();
  if (watcher_.joinable()) watcher_.join();
}

void ExitWatch::Watch() {
  for (;;) {
    pollfd fds[2] = {{process_, POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) {
      onExit_();
      return;
    }
    if (fds[1].revents != 0) return;
  }
}

}  // namespace snh
