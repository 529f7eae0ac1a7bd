#pragma once

// Linux: the processes a client has started, found and ended wherever they went. The host makes itself
// the reaper of its descendants' orphans (PR_SET_CHILD_SUBREAPER): a process whose parent has ended moves
// up to the host, not to init, so whatever the client started, in its session or in one of its own,
// stays a descendant of the host, found through the parent links of /proc/<pid>/stat. The host starts
// no other program, so each of its children but the client is such an orphan, and the host reaps it.

#include <sys/types.h>

#include <thread>

#include "platform/WakeSignal.h"

namespace snh {

// Makes the host the reaper of its descendants' orphans, for the rest of its life.
void AdoptOrphans() noexcept;

// SIGKILLs every running process of `client`'s session and every descendant of the host, again until
// none runs (a process that takes longer than a second to end, or refuses the signal, is left), then
// reaps every ended child of the host but the client, which its owner reaps. `client` must not be reaped
// yet: its pid is the session's id.
void EndProcessTree(pid_t client) noexcept;

// Reaps every ended child of the host but `client`.
void ReapOrphans(pid_t client) noexcept;

// Reaps the orphans of a client's tree once a second while the client is connected, so that zombies do
// not pile up. On a timer: SIGCHLD could tell when, but only to a host that handled it or blocked it in
// every thread, which would change the waits of every other thread.
class OrphanReaper {
 public:
  // Raises "CreateEvent failed. ..." when its stop signal cannot be made.
  OrphanReaper() = default;
  ~OrphanReaper() { Stop(); }
  OrphanReaper(const OrphanReaper&) = delete;
  OrphanReaper& operator=(const OrphanReaper&) = delete;

  // Raises std::system_error when the thread cannot start.
  void Start(pid_t client);
  // Stops the thread and waits for it; then does nothing.
  void Stop() noexcept;

 private:
  WakeSignal stop_;
  std::thread thread_;
};

}  // namespace snh
