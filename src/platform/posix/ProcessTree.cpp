#include "platform/posix/ProcessTree.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/PidFd.h"
#include "platform/posix/RetryOnInterrupt.h"

namespace snh {
namespace {

// The longest EndProcessTree waits for the processes it has signalled to end.
constexpr std::chrono::seconds kLongestEnd{1};
constexpr std::chrono::milliseconds kLongestPause{20};
constexpr int kReapIntervalMilliseconds = 1000;

// What /proc/<pid>/stat tells of one process.
struct ProcessEntry {
  pid_t pid = 0;
  pid_t parent = 0;
  pid_t session = 0;
  char state = '?';
  long threads = 0;
  // Clock ticks from boot to its start: tells it from a later process given the same pid.
  unsigned long long startTime = 0;

  // A main thread that has ended shows the state of a zombie while the other threads run on.
  bool Ended() const { return (state == 'Z' || state == 'X' || state == 'x') && threads <= 1; }
};

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::optional<ProcessEntry> ReadProcess(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const UniqueHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return std::nullopt;
  char buffer[1024];
  const ssize_t count = RetryOnInterrupt([&] { return ::read(file.get(), buffer, sizeof buffer); });
  if (count <= 0) return std::nullopt;
  const std::string_view text(buffer, static_cast<std::size_t>(count));
  // The name, in parentheses, may hold spaces and parentheses itself: the fields follow the last ')'.
  std::size_t at = text.rfind(')');
  if (at == std::string_view::npos) return std::nullopt;
  ProcessEntry entry{.pid = pid};
  // Fields 3 (state) to 22 (start time), numbered as in proc(5).
  for (int field = 3; field <= 22; ++field) {
    at = text.find_first_not_of(' ', at + 1);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t end = std::min(text.find(' ', at), text.size());
    const std::string_view value = text.substr(at, end - at);
    at = end;
    bool parsed = true;
    switch (field) {
      case 3:
        entry.state = value.front();
        break;
      case 4:
        parsed = ParseNumber(value, entry.parent);
        break;
      case 6:
        parsed = ParseNumber(value, entry.session);
        break;
      case 20:
        parsed = ParseNumber(value, entry.threads);
        break;
      case 22:
        parsed = ParseNumber(value, entry.startTime);
        break;
      default:
        break;
    }
    if (!parsed) return std::nullopt;
  }
  return entry;
}

// Every process /proc lists, each read at its own moment.
std::vector<ProcessEntry> ReadAllProcesses() {
  std::vector<ProcessEntry> entries;
  std::error_code error;
  for (std::filesystem::directory_iterator item("/proc", error), end; !error && item != end;
       item.increment(error)) {
    pid_t pid = 0;
    if (!ParseNumber(item->path().filename().native(), pid)) continue;
    if (std::optional<ProcessEntry> entry = ReadProcess(pid)) entries.push_back(*entry);
  }
  return entries;
}

// One reading of /proc, and which of its processes are the client's: in the client's session, or below
// the host through their parents.
class ClientTree {
 public:
  ClientTree(pid_t host, pid_t client) : host_(host), client_(client) {
    for (const ProcessEntry& entry : ReadAllProcesses()) entries_.emplace(entry.pid, entry);
  }

  std::vector<ProcessEntry> Running() {
    std::vector<ProcessEntry> running;
    // The walks may add parents read late; a map's iterators stay valid.
    for (const auto& [pid, entry] : entries_) {
      if (pid == host_ || entry.Ended()) continue;
      if (entry.session == client_ || BelowHost(pid)) running.push_back(entry);
    }
    return running;
  }

 private:
  bool BelowHost(pid_t pid) {
    std::vector<pid_t> path;
    bool below = false;
    bool reread = false;
    for (pid_t at = pid;;) {
      if (const auto known = below_.find(at); known != below_.end()) {
        below = known->second;
        break;
      }
      const auto entry = entries_.find(at);
      if (entry == entries_.end()) break;
      const pid_t parent = entry->second.parent;
      if (parent != host_ && parent > 1 && !entries_.contains(parent)) {
        // Started after the reading passed it, or ended since: then `at` has moved to a new parent.
        if (std::optional<ProcessEntry> late = ReadProcess(parent)) {
          entries_.emplace(parent, *late);
        } else if (!reread) {
          reread = true;
          if (std::optional<ProcessEntry> again = ReadProcess(at)) {
            entry->second = *again;
            continue;
          }
        }
      }
      path.push_back(at);
      // Init and the kernel's threads have parents 0 and 1; the length bounds a loop in stale links.
      if (parent == host_ || parent <= 1 || path.size() > entries_.size()) {
        below = parent == host_;
        break;
      }
      at = parent;
    }
    for (const pid_t member : path) below_[member] = below;
    return below;
  }

  pid_t host_;
  pid_t client_;
  std::map<pid_t, ProcessEntry> entries_;
  std::map<pid_t, bool> below_;
};

enum class KillOutcome { kSignalled, kGone, kRefused };

KillOutcome Kill(const ProcessEntry& process) {
  const UniqueHandle handle(OpenPidFd(process.pid));
  const int openError = errno;
  // The pid may have passed to a new process since the reading: only the process read is signalled,
  // through the fd opened before this check whenever there is one.
  const std::optional<ProcessEntry> now = ReadProcess(process.pid);
  if (!now || now->startTime != process.startTime || (!handle && openError == ESRCH)) {
    return KillOutcome::kGone;
  }
  const long result = handle ? ::syscall(SYS_pidfd_send_signal, handle.get(), SIGKILL, nullptr, 0)
                             : ::kill(process.pid, SIGKILL);
  if (result == 0) return KillOutcome::kSignalled;
  return errno == ESRCH ? KillOutcome::kGone : KillOutcome::kRefused;
}

void ReapChild(pid_t pid) {
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG);
}

}  // namespace

void AdoptOrphans() noexcept { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

void EndProcessTree(pid_t client) noexcept {
  using Clock = std::chrono::steady_clock;
  try {
    const pid_t host = ::getpid();
    const auto deadline = Clock::now() + kLongestEnd;
    std::set<std::pair<pid_t, unsigned long long>> refused;  // another user's, say
    std::chrono::milliseconds pause{1};
    // A process signalled cannot start another, so each round finds fewer, until none runs.
    for (;;) {
      bool running = false;
      for (const ProcessEntry& process : ClientTree(host, client).Running()) {
        if (refused.contains({process.pid, process.startTime})) continue;
        switch (Kill(process)) {
          case KillOutcome::kSignalled:
            running = true;
            break;
          case KillOutcome::kRefused:
            refused.emplace(process.pid, process.startTime);
            break;
          case KillOutcome::kGone:
            break;
        }
      }
      if (!running || Clock::now() >= deadline) break;
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, kLongestPause);
    }
  } catch (...) {
    // Out of memory: the client's process group, as the least.
    ::kill(-client, SIGKILL);
  }
  ReapOrphans(client);
}

void ReapOrphans(pid_t client) noexcept {
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) return;
    if (info.si_pid == client) break;
    ReapChild(info.si_pid);
  }
  // The ended client, which its owner reaps, hides the others from waitid: find them in /proc.
  try {
    const pid_t host = ::getpid();
    for (const ProcessEntry& process : ReadAllProcesses()) {
      if (process.parent == host && process.pid != client && process.Ended()) ReapChild(process.pid);
    }
  } catch (...) {
    // Out of memory: the next call reaps them.
  }
}

void OrphanReaper::Start(pid_t client) {
  thread_ = std::thread([this, client] {
    for (;;) {
      pollfd stop{stop_.handle(), POLLIN, 0};
      if (RetryOnInterrupt([&] { return ::poll(&stop, 1, kReapIntervalMilliseconds); }) != 0) return;
      ReapOrphans(client);
    }
  });
}

void OrphanReaper::Stop() noexcept {
  stop_.Raise();
  if (thread_.joinable()) thread_.join();
}

}  // namespace snh
