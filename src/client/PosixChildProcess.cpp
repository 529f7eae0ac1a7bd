// Starts a program the way Chrome and Firefox start a native host on Linux: a plain fork and exec with pipes
// on its three standard streams, in the browser's process group and session.
//
// Every fd of the caller is close-on-exec from the moment it exists, so a child started on another
// thread cannot inherit it; posix_spawn's dup2 actions give the child its three streams. The pipes
// are read and written through the platform's ports (ChildProcess.cpp); the process is waited for
// through its pidfd.

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

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
#include "platform/Wait.h"

extern char** environ;

namespace snh::client {
namespace {

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

}  // namespace

struct ChildProcess::State {
  const pid_t pid;
  UniqueHandle pidfd;
  std::mutex exitMutex;
  std::optional<int> status;  // guarded by exitMutex, set once reaped
};

void ChildProcess::StateDeleter::operator()(State* state) const { delete state; }

ChildProcess::Started ChildProcess::Start(const std::string& program,
                                          const std::vector<std::string>& arguments) {
  ChildPipes pipes = CreateChildPipes();
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
    ReapProcess(pid);
    RaiseSystemError("pidfd_open", static_cast<std::uint32_t>(failure));
  }
  // The child's ends are released here (with the pipes), so end of stream follows the child's exit.
  return {StatePointer(new State{pid, std::move(pidfd), {}, {}}), std::move(pipes.stdinWrite),
          std::move(pipes.stdoutRead), std::move(pipes.stderrRead)};
}

unsigned long ChildProcess::ProcessId() const { return static_cast<unsigned long>(process_->pid); }

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  State& process = *process_;
  std::lock_guard lock(process.exitMutex);
  if (!process.status && WaitForHandle(process.pidfd.get(), nullptr, timeout) == WaitOutcome::kReady) {
    process.status = ReapProcess(process.pid);
  }
  return process.status;
}

void ChildProcess::Kill() {
  State& process = *process_;
  std::lock_guard lock(process.exitMutex);
  if (process.status) return;
  // Not reaped yet, so the pid cannot have been reused.
  ::kill(process.pid, SIGKILL);
  process.status = ReapProcess(process.pid);
}

}  // namespace snh::client
