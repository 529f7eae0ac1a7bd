// Starts ssh-native-host as a browser on Linux or macOS does (pipes on its standard input and output)
// and bridges it to a terminal: every line read from standard input is one JSON request, sent as a
// frame; every frame the host sends is printed as one line of JSON.
//
//   snh-launch [host]      (default: ssh-native-host beside this program)
//
// Exit status: the host's.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

extern char** environ;

#include "JsonLineBridge.h"

namespace {

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool ReadAll(int fd, char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t count = ::read(fd, data, size);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

std::string DefaultHostPath(const char* self) {
  const std::string path(self);
  const std::size_t slash = path.rfind('/');
  return (slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1)) + "ssh-native-host";
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  const std::string host = argc > 1 ? argv[1] : DefaultHostPath(argv[0]);

  int toHost[2];
  int fromHost[2];
  if (::pipe2(toHost, O_CLOEXEC) != 0 || ::pipe2(fromHost, O_CLOEXEC) != 0) {
    std::perror("pipe");
    return 1;
  }
  Fd hostInputRead(toHost[0]), hostInputWrite(toHost[1]), hostOutputRead(fromHost[0]),
      hostOutputWrite(fromHost[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, hostInputRead.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, hostOutputWrite.get(), STDOUT_FILENO);
  // A browser passes the extension's origin; the host ignores it.
  char origin[] = "chrome-extension://launcher/";
  std::string hostPath = host;
  char* hostArgv[] = {hostPath.data(), origin, nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, host.c_str(), &actions, nullptr, hostArgv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    std::fprintf(stderr, "cannot start %s: %s\n", host.c_str(), std::strerror(error));
    return 1;
  }
  hostInputRead.reset();
  hostOutputWrite.reset();

  std::thread printer([&] {
    snh::launcher::PrintReplyFrames(
        [&](char* data, std::size_t size) { return ReadAll(hostOutputRead.get(), data, size); });
  });
  snh::launcher::SendRequestLines(
      [&](const char* data, std::size_t size) { return WriteAll(hostInputWrite.get(), data, size); });
  // End of input: the host tears its session down and exits, as when the browser closes the port.
  hostInputWrite.reset();
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  printer.join();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
