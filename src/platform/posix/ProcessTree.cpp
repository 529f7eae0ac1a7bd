#include "platform/posix/ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <deque>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/PidFd.h"
#include "platform/Wait.h"
#include "platform/RetryOnInterrupt.h"

namespace snh {
namespace {

// The longest EndProcessTree waits for the processes it has signalled to end.
constexpr std::chrono::seconds kLongestEnd{1};
constexpr std::chrono::milliseconds kLongestPause{20};
constexpr std::chrono::milliseconds kReapInterval{1000};

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
  char path[32] = "/proc/";
  char* const number = path + std::strlen(path);
  const auto [numberEnd, error] = std::to_chars(number, path + sizeof path - sizeof "/stat", pid);
  if (error != std::errc()) return std::nullopt;
  std::memcpy(numberEnd, "/stat", sizeof "/stat");
  const UniqueHandle file(::open(path, O_RDONLY | O_CLOEXEC));
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

// Calls `visit` with every process /proc lists, each read at its own moment. Allocates nothing: the
// reaper does this every second once the client has ended.
template <typename Visit>
void ForEachProcess(Visit&& visit) {
  const UniqueHandle directory(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory) return;
  char buffer[8192];
  for (;;) {
    const ssize_t count =
        RetryOnInterrupt([&] { return ::getdents64(directory.get(), buffer, sizeof buffer); });
    if (count <= 0) return;
    unsigned short length = 0;
    for (ssize_t at = 0; at < count; at += length) {
      std::memcpy(&length, buffer + at + offsetof(dirent64, d_reclen), sizeof length);
      if (length == 0) return;
      pid_t pid = 0;
      if (!ParseNumber(std::string_view(buffer + at + offsetof(dirent64, d_name)), pid)) continue;
      if (std::optional<ProcessEntry> entry = ReadProcess(pid)) visit(*entry);
    }
  }
}

// One reading of /proc, and which of its processes are the client's: in the client's session, or below
// the host through their parents.
class ClientTree {
 public:
  ClientTree(pid_t host, pid_t client) : host_(host), client_(client) {
    ForEachProcess([this](const ProcessEntry& process) { nodes_.push_back(Node{process}); });
    std::sort(nodes_.begin(), nodes_.end(),
              [](const Node& a, const Node& b) { return a.process.pid < b.process.pid; });
  }

  // Calls `visit` with each of the client's processes that has not ended.
  template <typename Visit>
  void ForEachRunning(Visit&& visit) {
    for (Node& node : nodes_) {
      const ProcessEntry& process = node.process;
      if (process.pid == host_ || process.Ended()) continue;
      if (process.session == client_ || BelowHost(node)) visit(node.process);
    }
  }

 private:
  enum class Membership { kUnknown, kBelow, kElsewhere };
  struct Node {
    ProcessEntry process;
    Membership membership = Membership::kUnknown;
  };

  Node* Find(pid_t pid) {
    const auto found =
        std::lower_bound(nodes_.begin(), nodes_.end(), pid,
                         [](const Node& node, pid_t wanted) { return node.process.pid < wanted; });
    if (found != nodes_.end() && found->process.pid == pid) return &*found;
    for (Node& node : lateNodes_) {
      if (node.process.pid == pid) return &node;
    }
    return nullptr;
  }

  bool BelowHost(Node& start) {
    path_.clear();
    Membership membership = Membership::kElsewhere;
    bool reread = false;
    for (Node* at = &start; at != nullptr;) {
      if (at->membership != Membership::kUnknown) {
        membership = at->membership;
        break;
      }
      const pid_t parent = at->process.parent;
      // Init and the kernel's threads have parents 0 and 1: a walk that reaches them ends there.
      Node* parentNode = parent == host_ || parent <= 1 ? nullptr : Find(parent);
      if (parent != host_ && parent > 1 && parentNode == nullptr) {
        // Started after the reading passed it, or ended since: then `at` has moved to a new parent.
        if (std::optional<ProcessEntry> late = ReadProcess(parent)) {
          parentNode = &lateNodes_.emplace_back(Node{*late});
        } else if (!reread) {
          reread = true;
          if (std::optional<ProcessEntry> again = ReadProcess(at->process.pid)) {
            at->process = *again;
            continue;
          }
        }
      }
      path_.push_back(at);
      if (parent == host_) membership = Membership::kBelow;
      // The length bounds a loop in links read at different moments.
      if (parent == host_ || path_.size() > nodes_.size() + lateNodes_.size()) break;
      at = parentNode;
    }
    for (Node* node : path_) node->membership = membership;
    return membership == Membership::kBelow;
  }

  pid_t host_;
  pid_t client_;
  std::vector<Node> nodes_;     // sorted by pid
  std::deque<Node> lateNodes_;  // parents read after the rest; a deque keeps their addresses
  std::vector<Node*> path_;
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
      ClientTree(host, client).ForEachRunning([&](const ProcessEntry& process) {
        if (refused.contains({process.pid, process.startTime})) return;
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
      });
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
  const pid_t host = ::getpid();
  ForEachProcess([host, client](const ProcessEntry& process) {
    if (process.parent == host && process.pid != client && process.Ended()) ReapChild(process.pid);
  });
}

void OrphanReaper::Start(pid_t client) {
  thread_ = std::thread([this, client] {
    while (WaitForHandle(stop_.handle(), nullptr, kReapInterval) == WaitOutcome::kTimedOut) {
      ReapOrphans(client);
    }
  });
}

void OrphanReaper::Stop() noexcept {
  stop_.Raise();
  if (thread_.joinable()) thread_.join();
}

}  // namespace snh
