// The terminal client's streams on POSIX. Raw mode is termios's; the saved modes are also put back by
// a handler for the signals that end a process, since a terminal left raw is unusable. Reads wait in
// poll on standard input and a signal that CancelInput raises.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>

#include "client/LocalConsole.h"
#include "platform/OsError.h"
#include "platform/PipeIo.h"
#include "platform/WakeSignal.h"

namespace snh::client {
namespace {

constexpr std::array kEndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// Written before the handlers are installed and read only by them.
termios savedModes;
volatile std::sig_atomic_t modesSaved = 0;

void RestoreModesAndDie(int signal) {
  if (modesSaved) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedModes);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class PosixLocalConsole final : public LocalConsole {
 public:
  PosixLocalConsole() {
    // A host or terminal that has gone away shows as a failed write.
    std::signal(SIGPIPE, SIG_IGN);
  }

  ~PosixLocalConsole() override {
    if (!modesSaved) return;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedModes);
    modesSaved = 0;
    for (int signal : kEndingSignals) std::signal(signal, SIG_DFL);
  }

  bool InputIsTerminal() const override { return ::isatty(STDIN_FILENO) == 1; }
  bool OutputIsTerminal() const override { return ::isatty(STDOUT_FILENO) == 1; }

  void EnterRawMode() override {
    termios modes{};
    if (::tcgetattr(STDIN_FILENO, &modes) != 0) RaiseLastError("cannot read the terminal's modes: tcgetattr");
    savedModes = modes;
    modesSaved = 1;
    for (int signal : kEndingSignals) std::signal(signal, RestoreModesAndDie);
    ::cfmakeraw(&modes);
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &modes) != 0) {
      RaiseLastError("cannot put the terminal in raw mode: tcsetattr");
    }
  }

  std::size_t ReadInput(std::span<char> buffer) override {
    for (;;) {
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {cancel_.handle(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return 0;
      }
      if (fds[1].revents != 0) return 0;
      const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
      if (count >= 0) return static_cast<std::size_t>(count);
      if (errno != EINTR && errno != EAGAIN) return 0;
    }
  }

  void CancelInput() override { cancel_.Raise(); }

  bool WriteOutput(std::string_view bytes) override {
    std::lock_guard lock(outputMutex_);
    return WriteWhole(STDOUT_FILENO, bytes).outcome == WriteOutcome::kDone;
  }
  bool WriteError(std::string_view bytes) override {
    std::lock_guard lock(errorMutex_);
    return WriteWhole(STDERR_FILENO, bytes).outcome == WriteOutcome::kDone;
  }

 private:
  WakeSignal cancel_;
  std::mutex outputMutex_;
  std::mutex errorMutex_;
};

}  // namespace

std::unique_ptr<LocalConsole> OpenLocalConsole() { return std::make_unique<PosixLocalConsole>(); }

std::string DefaultHostPath() {
  std::array<char, 4096> self{};
  const ssize_t length = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (length <= 0) return "ssh-native-host";
  const std::string path(self.data(), static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + "ssh-native-host";
}

std::string DefaultShell() {
  const char* shell = std::getenv("SHELL");
  return shell != nullptr && *shell != '\0' ? shell : "/bin/sh";
}

}  // namespace snh::client
