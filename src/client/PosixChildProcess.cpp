// Starts a program the way Chrome and Firefox start a native host on Linux: a plain fork and exec with pipes
// on its three standard streams, in the browser's process group and session.
//
// Every fd of the caller is close-on-exec from the moment it exists, so a child started on another
// thread cannot inherit it; posix_spawn's dup2 actions give the child its three streams. The caller's
// ends are non-blocking and every wait is a poll that also watches a cancel signal, which is how
// CancelPendingIo interrupts reads and writes. SIGPIPE is blocked only around writes, so a host that
// has gone away shows as a failed write, and the caller's signal handling stays its own.

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "client/ChildProcess.h"
#include "platform/ChildPipes.h"
#include "platform/OsError.h"
#include "platform/PidFd.h"
#include "platform/PipeWritePort.h"
#include "platform/WakeSignal.h"

extern char** environ;

namespace snh::client {
namespace {

// The caller's read ends are non-blocking, so that only poll ever waits (its write end is the port's).
void SetNonBlocking(const UniqueHandle& fd) {
  if (::fcntl(fd.get(), F_SETFL, O_NONBLOCK) != 0) RaiseLastError("fcntl");
}

// posix_spawn's attribute and file-action objects, destroyed however the start ends.
class SpawnSetup {
 public:
  SpawnSetup() {
    if (const int error = ::posix_spawnattr_init(&attributes_))
      RaiseSystemError("posix_spawnattr_init", static_cast<std::uint32_t>(error));
    if (const int error = ::posix_spawn_file_actions_init(&actions_)) {
      ::posix_spawnattr_destroy(&attributes_);
      RaiseSystemError("posix_spawn_file_actions_init", static_cast<std::uint32_t>(error));
    }
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attributes_);
  }

  // The child starts as a browser's host does: no blocked signals, SIGPIPE at its default action.
  void ResetSignals() {
    sigset_t none;
    sigemptyset(&none);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    Must(::posix_spawnattr_setsigmask(&attributes_, &none), "posix_spawnattr_setsigmask");
    Must(::posix_spawnattr_setsigdefault(&attributes_, &pipeSignal), "posix_spawnattr_setsigdefault");
    Must(::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF),
         "posix_spawnattr_setflags");
  }
  // dup2 clears close-on-exec on the copy, so exactly these three fds survive the exec.
  void MapStream(int from, int to) {
    Must(::posix_spawn_file_actions_adddup2(&actions_, from, to), "posix_spawn_file_actions_adddup2");
  }

  pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    // glibc reports a failed exec as the result, so a missing program throws here.
    if (const int error =
            ::posix_spawnp(&pid, program.c_str(), &actions_, &attributes_, argv.data(), environ)) {
      RaiseSystemError("cannot start " + program + ": posix_spawnp", static_cast<std::uint32_t>(error));
    }
    return pid;
  }

 private:
  static void Must(int error, const char* call) {
    if (error != 0) RaiseSystemError(call, static_cast<std::uint32_t>(error));
  }

  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

// Blocks SIGPIPE in the calling thread while it lives; a SIGPIPE that a failed write raised meanwhile
// is taken away again before the old mask comes back, so it is never delivered.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&pipeSignal_);
    sigaddset(&pipeSignal_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;
  ~SigpipeBlock() {
    if (raised_ && !wasPending_) {
      const timespec noWait{};
      while (sigtimedwait(&pipeSignal_, nullptr, &noWait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  void NoteBrokenPipe() { raised_ = true; }

 private:
  sigset_t pipeSignal_;
  sigset_t previous_;
  bool wasPending_ = false;
  bool raised_ = false;
};

enum class Readiness { kReady, kCancelled };

// Waits until `fd` is readable or `cancel` is raised. Readiness wins over cancelling, so bytes that
// are already in a pipe are still read after a cancel.
Readiness WaitForInput(int fd, const WakeSignal& cancel) {
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {cancel.handle(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Readiness::kCancelled;
    }
    if (fds[0].revents != 0) return Readiness::kReady;
    if (fds[1].revents != 0) return Readiness::kCancelled;
  }
}

class PosixChildProcess final : public ChildProcess {
 public:
  PosixChildProcess(pid_t pid, UniqueHandle pidfd, WakeSignal cancel, UniqueHandle input,
                    std::unique_ptr<PipeWritePort> inputPort, UniqueHandle output, UniqueHandle error)
      : pid_(pid),
        pidfd_(std::move(pidfd)),
        cancel_(std::move(cancel)),
        input_(std::move(input)),
        inputPort_(std::move(inputPort)),
        output_(std::move(output)),
        error_(std::move(error)) {}

  ~PosixChildProcess() override {
    if (!WaitForExit(std::chrono::milliseconds(0))) Kill();
  }

  bool WriteInput(std::string_view bytes) override {
    std::lock_guard lock(inputMutex_);
    if (!input_) return bytes.empty();
    SigpipeBlock block;
    const WriteResult result = inputPort_->Write(bytes);
    if (result.outcome == WriteOutcome::kFailed && result.error == EPIPE) block.NoteBrokenPipe();
    return result.outcome == WriteOutcome::kDone;
  }

  void CloseInput() override {
    std::lock_guard lock(inputMutex_);
    input_.reset();
  }

  void CloseOutput() override { output_.reset(); }
  unsigned long ProcessId() const override { return static_cast<unsigned long>(pid_); }

  std::size_t ReadOutput(std::span<char> buffer) override { return ReadPipe(output_.get(), buffer); }
  std::size_t ReadError(std::span<char> buffer) override { return ReadPipe(error_.get(), buffer); }

  // Every read from now on gives up as soon as it would wait, and every write at once.
  void CancelPendingIo() override {
    cancel_.Raise();
    inputPort_->Cancel();
  }

  std::optional<int> WaitForExit(std::chrono::milliseconds timeout) override {
    std::lock_guard lock(exitMutex_);
    if (status_) return status_;
    pollfd fd{pidfd_.get(), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      const int ready = ::poll(&fd, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
      if (ready > 0) break;
      if (ready == 0 || errno != EINTR) return std::nullopt;
    }
    Reap();
    return status_;
  }

  void Kill() override {
    std::lock_guard lock(exitMutex_);
    if (status_) return;
    // Not reaped yet, so the pid cannot have been reused.
    ::kill(pid_, SIGKILL);
    Reap();
  }

 private:
  std::size_t ReadPipe(int fd, std::span<char> buffer) {
    for (;;) {
      const ssize_t count = ::read(fd, buffer.data(), buffer.size());
      if (count >= 0) return static_cast<std::size_t>(count);
      if (errno == EAGAIN) {
        if (WaitForInput(fd, cancel_) == Readiness::kCancelled) return 0;
      } else if (errno != EINTR) {
        return 0;
      }
    }
  }

  // Exit status as a shell reports it: the code, or 128 plus the signal that ended the process.
  void Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = ShellStatus(status);
  }

  const pid_t pid_;
  UniqueHandle pidfd_;
  std::mutex exitMutex_;
  std::optional<int> status_;  // set once reaped
  WakeSignal cancel_;          // for the reads; the input port has its own
  std::mutex inputMutex_;
  UniqueHandle input_;                              // guarded by inputMutex_
  const std::unique_ptr<PipeWritePort> inputPort_;  // outlives input_, so that a cancel never waits
  UniqueHandle output_;
  UniqueHandle error_;
};

}  // namespace

std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::vector<std::string>& arguments) {
  ChildPipes pipes = CreateChildPipes();
  SetNonBlocking(pipes.stdoutRead);
  SetNonBlocking(pipes.stderrRead);
  auto inputPort = std::make_unique<PipeWritePort>(pipes.stdinWrite.get());
  WakeSignal cancel;

  SpawnSetup setup;
  setup.ResetSignals();
  setup.MapStream(pipes.stdinRead.get(), STDIN_FILENO);
  setup.MapStream(pipes.stdoutWrite.get(), STDOUT_FILENO);
  setup.MapStream(pipes.stderrWrite.get(), STDERR_FILENO);
  const pid_t pid = setup.Spawn(program, arguments);

  UniqueHandle pidfd = OpenPidFd(pid);
  if (!pidfd) {
    const int failure = errno;
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    RaiseSystemError("pidfd_open", static_cast<std::uint32_t>(failure));
  }
  // The child's ends are released here (with the pipes), so end of stream follows the child's exit.
  return std::make_unique<PosixChildProcess>(pid, std::move(pidfd), std::move(cancel),
                                             std::move(pipes.stdinWrite), std::move(inputPort),
                                             std::move(pipes.stdoutRead), std::move(pipes.stderrRead));
}

}  // namespace snh::client
