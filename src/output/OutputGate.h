#pragma once

// Flow control of one connection's output: while paused, its readers wait here instead of reading, so
// the client blocks on its full pipe or terminal as on a slow one, and nothing piles up in the host.

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace snh {

class OutputGate {
 public:
  // Any thread.
  void Pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
  }
  void Resume() {
    {
      std::lock_guard lock(mutex_);
      paused_ = false;
    }
    opened_.notify_all();
  }

  // Blocks while paused, until Resume, or until `running` is false and Wake has been called.
  void WaitWhilePaused(const std::atomic<bool>& running) {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [&] { return !paused_ || !running.load(); });
  }

  // Wakes the waiters to test their `running` again; call after clearing it.
  void Wake() {
    // The lock orders the flag's change before a waiter's test, so the wake is not lost.
    { std::lock_guard lock(mutex_); }
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool paused_ = false;  // guarded by mutex_
};

}  // namespace snh
