#include "platform/ClientProcess.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ConsoleScreen.h"
#include "platform/OsError.h"
#include "platform/PidFd.h"
#include "platform/PseudoConsole.h"
#include "platform/Wait.h"
#include "platform/posix/ProcessTree.h"
#include "platform/RetryOnInterrupt.h"

namespace snh {

struct ClientProcess::State {
  pid_t pid = 0;
  UniqueHandle pidfd;
  OrphanReaper reaper;           // while the client is connected
  mutable std::mutex reapMutex;  // a status is read (without reaping) and the client reaped, not both
  bool reaped = false;           // guarded by reapMutex
  int exitCode = 0;              // guarded by reapMutex; once reaped
};

namespace {

constexpr const char* kStartLabel = "CreateProcess";

[[noreturn]] void ReportAndExit(int report) {
  const int error = errno;
  [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
  ::_exit(127);
}

// What the child needs from the host, gathered before fork: nothing after it may allocate or lock.
struct ChildSetup {
  pid_t host = 0;
  // One past the highest fd to close where close_range is missing (kernels before 5.9).
  int fdLimit = 0;
};

// Closes fds first..last, async-signal-safely.
void CloseFds(unsigned first, unsigned last, int fdLimit) {
  if (first > last || ::close_range(first, last, 0) == 0 || errno != ENOSYS) return;
  for (unsigned fd = first; fd <= last && fd < static_cast<unsigned>(fdLimit); ++fd) {
    ::close(static_cast<int>(fd));
  }
}

// Closes every fd above the standard three but `keep`.
void CloseOtherFds(int keep, int fdLimit) {
  constexpr unsigned kFirst = STDERR_FILENO + 1;
  const unsigned kept = static_cast<unsigned>(keep);
  if (kept < kFirst) {
    CloseFds(kFirst, ~0U, fdLimit);
    return;
  }
  if (kept > kFirst) CloseFds(kFirst, kept - 1, fdLimit);
  if (kept < ~0U) CloseFds(kept + 1, ~0U, fdLimit);
}

// In the forked child: only async-signal-safe calls until exec. On failure the errno goes to the parent
// through the report pipe, which exec closes on success.
[[noreturn]] void RunChild(const std::vector<char*>& argv, char* const* environment, int terminal,
                           const ChildStdio& stdio, int report, const ChildSetup& setup) {
  auto fail = [report]() { ReportAndExit(report); };
  // An SSH session must not outlive the host, however the host ends. The signal follows the death of
  // the forking thread, which is the request loop's: it lives as long as the host.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) fail();
  // The host may have died before the signal was set; then the child is already someone else's.
  if (::getppid() != setup.host) ::_exit(127);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  if (::setsid() < 0) fail();
  if (::ioctl(terminal, TIOCSCTTY, 0) < 0) fail();
  // dup2 clears close-on-exec on the copies. The client keeps those three and its controlling terminal,
  // and none of the fds the host itself inherited without close-on-exec.
  if (::dup2(stdio.input, STDIN_FILENO) < 0 || ::dup2(stdio.output, STDOUT_FILENO) < 0 ||
      ::dup2(stdio.error, STDERR_FILENO) < 0) {
    fail();
  }
  CloseOtherFds(report, setup.fdLimit);
  ::execvpe(argv[0], argv.data(), environment != nullptr ? environment : environ);
  ReportAndExit(report);
}

ChildSetup PrepareChildSetup() {
  constexpr rlim_t kMostFdsToClose = 1 << 20;
  rlimit limit{};
  const rlim_t fdLimit =
      ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min(limit.rlim_cur, kMostFdsToClose) : kMostFdsToClose;
  return ChildSetup{::getpid(), static_cast<int>(fdLimit)};
}

// The host's environment and, where it has none, a TERM: a browser started from a desktop menu has
// none, and the remote shell would then take a terminal that cannot even clear its screen.
class TerminalEnvironment {
 public:
  TerminalEnvironment() {
    for (char** entry = environ; *entry != nullptr; ++entry) entries_.push_back(*entry);
    if (std::getenv("TERM") == nullptr) entries_.push_back(kDefaultTerm);
    entries_.push_back(nullptr);
  }
  char* const* get() const { return entries_.data(); }

 private:
  static inline char kDefaultTerm[] = "TERM=xterm-256color";
  std::vector<char*> entries_;
};

// Starts the client with `terminal` as its controlling terminal and `environment` (null: the host's).
ClientProcess Start(const ConnectParams& params, NativeHandle terminal, const ChildStdio& stdio,
                    char* const* environment) {
  // Arguments end at their first NUL, as the text of a command line would.
  std::vector<std::string> words;
  words.emplace_back(params.fileName.c_str());
  for (const std::string& argument : params.arguments) words.emplace_back(argument.c_str());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int reportEnds[2];
  if (::pipe2(reportEnds, O_CLOEXEC) != 0) RaiseLastError(kStartLabel);
  UniqueHandle reportRead(reportEnds[0]);
  UniqueHandle reportWrite(reportEnds[1]);

  const ChildSetup setup = PrepareChildSetup();
  // Made before the fork, so that a failure leaves nothing to end.
  auto state = std::make_unique<ClientProcess::State>();
  AdoptOrphans();
  const pid_t pid = ::fork();
  if (pid < 0) RaiseLastError(kStartLabel);
  if (pid == 0) RunChild(argv, environment, terminal, stdio, reportWrite.get(), setup);

  reportWrite.reset();
  UniqueHandle pidfd(OpenPidFd(pid));
  const int pidfdError = errno;
  const bool pidfdOpened = static_cast<bool>(pidfd);
  state->pid = pid;
  state->pidfd = std::move(pidfd);
  ClientProcess::State& started = *state;
  // Owns the child from here: a failure below ends and reaps it at once.
  ClientProcess client(std::move(state));
  int childError = 0;
  const ssize_t count =
      RetryOnInterrupt([&] { return ::read(reportRead.get(), &childError, sizeof childError); });
  if (count == sizeof childError) RaiseSystemError(kStartLabel, static_cast<std::uint32_t>(childError));
  // Without it the exit could not be watched.
  if (!pidfdOpened) RaiseSystemError("pidfd_open", static_cast<std::uint32_t>(pidfdError));
  started.reaper.Start(pid);
  return client;
}

}  // namespace

ClientProcess::ClientProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}

ClientProcess ClientProcess::StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                                  const ChildStdio& /*stdio*/) {
  const NativeHandle terminal = console.clientSide();
  const TerminalEnvironment environment;
  return Start(params, terminal, ChildStdio{terminal, terminal, terminal}, environment.get());
}

ClientProcess ClientProcess::StartInConsole(const ConnectParams& params, const ConsoleScreen& console,
                                            const ChildStdio& stdio) {
  return Start(params, console.clientSide(), stdio, /*environment=*/nullptr);
}

ClientProcess::ClientProcess(ClientProcess&& other) noexcept = default;

ClientProcess::~ClientProcess() {
  if (state_) TerminateAndWait();
}

NativeHandle ClientProcess::handle() const { return state_->pidfd.get(); }

bool ClientProcess::HasExited() const {
  {
    std::lock_guard lock(state_->reapMutex);
    if (state_->reaped) return true;
  }
  return WaitForHandle(state_->pidfd.get(), nullptr, std::chrono::milliseconds(0)) == WaitOutcome::kReady;
}

std::optional<std::int64_t> ClientProcess::ExitCode() const {
  const State& state = *state_;
  std::lock_guard lock(state.reapMutex);
  if (state.reaped) return state.exitCode;
  // Leaves the client to its reaper: its pid stays reserved, and the lock keeps the reaper out.
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(state.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid == 0) {
    return std::nullopt;
  }
  return ShellStatus(info.si_code == CLD_EXITED, info.si_status);
}

void ClientProcess::TerminateAndWait() noexcept {
  State& state = *state_;
  {
    std::lock_guard lock(state.reapMutex);
    if (state.reaped) return;
  }
  state.reaper.Stop();
  // Unreaped, the client keeps its pid, which is also its group's and its session's id. Its group goes
  // at once; then everything else it started, wherever it went, and the orphans the host adopted.
  ::kill(-state.pid, SIGKILL);
  ::kill(state.pid, SIGKILL);
  EndProcessTree(state.pid);
  std::lock_guard lock(state.reapMutex);
  if (state.reaped) return;  // another caller got there while the tree was ended
  state.exitCode = ReapProcess(state.pid);
  state.reaped = true;
}

}  // namespace snh
