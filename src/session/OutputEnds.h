#pragma once

// The client's output sources that may still deliver, so that the exit notice can follow the client's
// last output without waiting longer than needed. Each source counts from before it starts until it
// has delivered its last output. A source whose end cannot be known (a Windows pseudo console, which
// ends only when it is closed) makes the wait take its whole limit. Releasing the connection cuts the
// wait short. While the output is paused its sources cannot end, so the limit does not run: it starts
// again in full at the resume.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace snh {

// The longest the exit notice waits for the client's last output.
inline constexpr std::chrono::seconds kExitNoticeDelay{1};

class OutputEnds {
 public:
  using Clock = std::chrono::steady_clock;

  // After a release, what a source that is about to end (its writer is gone, its last read under way)
  // is still given.
  static constexpr std::chrono::milliseconds kReleaseGrace{100};

  void Open() {
    std::lock_guard lock(mutex_);
    ++open_;
  }

  void Ended() {
    {
      std::lock_guard lock(mutex_);
      --open_;
    }
    changed_.notify_all();
  }

  // Any thread; the first release counts.
  void Release() {
    {
      std::lock_guard lock(mutex_);
      if (!releasedAt_) releasedAt_ = Clock::now();
    }
    changed_.notify_all();
  }

  // Any thread.
  void SetPaused(bool paused) {
    {
      std::lock_guard lock(mutex_);
      paused_ = paused;
    }
    changed_.notify_all();
  }

  // Returns once every source has ended, `limit` (not counting a pause) has passed, or the grace after a
  // release has.
  void Wait(Clock::duration limit) {
    Clock::time_point deadline = Clock::now() + limit;
    std::unique_lock lock(mutex_);
    for (;;) {
      if (open_ == 0) return;
      if (paused_ && !releasedAt_) {
        changed_.wait(lock);
        deadline = Clock::now() + limit;
        continue;
      }
      const Clock::time_point until =
          releasedAt_ ? std::min(deadline, *releasedAt_ + kReleaseGrace) : deadline;
      if (Clock::now() >= until) return;
      changed_.wait_until(lock, until);
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int open_ = 0;                                 // guarded by mutex_
  bool paused_ = false;                          // guarded by mutex_
  std::optional<Clock::time_point> releasedAt_;  // guarded by mutex_
};

}  // namespace snh
