#include "Spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <thread>

#include "platform/OsError.h"
#include "platform/RetryOnInterrupt.h"

extern char** environ;

namespace snh::bench {

PipeEnds MakePipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) RaiseLastError("pipe2");
  return {UniqueHandle(ends[0]), UniqueHandle(ends[1])};
}

Process::Process(const std::vector<std::string>& argv, int input, int output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int error = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) RaiseSystemError("starting " + argv[0], static_cast<std::uint32_t>(error));
}

Process::~Process() {
  if (pid_ > 0) Wait(std::chrono::milliseconds(0));
}

int Process::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  rusage usage{};
  const auto reaped = [&] {
    const auto seconds = [](timeval t) {
      return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    cpuSeconds_ = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    pid_ = -1;
  };
  for (;;) {
    const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::wait4(pid_, &status, 0, &usage);
      reaped();
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  reaped();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Rss ReadRss(pid_t pid) {
  Rss rss;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  std::size_t value = 0;
  while (status >> key) {
    if (key == "VmRSS:" && status >> value) rss.current = value;
    if (key == "VmHWM:" && status >> value) rss.peak = value;
  }
  return rss;
}

std::size_t ReadSome(int fd, char* buffer, std::size_t capacity) {
  const ssize_t count = RetryOnInterrupt([&] { return ::read(fd, buffer, capacity); });
  if (count < 0) RaiseLastError("read");
  return static_cast<std::size_t>(count);
}

}  // namespace snh::bench
