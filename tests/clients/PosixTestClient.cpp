// snh_test_client on POSIX: fds 0, 1 and 2, the controlling terminal /dev/tty as its console, and
// main's argv exactly as exec passed it.

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "TestClientPlatform.h"
#include "platform/PipeIo.h"
#include "platform/RetryOnInterrupt.h"

namespace snh::test_client {
namespace {

class Terminal {
 public:
  Terminal() : fd_(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!fd_) Fail("open /dev/tty");
  }

  int Get() const { return fd_.get(); }

 private:
  UniqueHandle fd_;
};

// Raw input while it lives: no line editing, no echo, no signals, no CR-to-LF; the previous settings
// come back afterwards. TCSANOW keeps what was typed before the switch.
class RawMode {
 public:
  explicit RawMode(int terminal) : terminal_(terminal) {
    if (::tcgetattr(terminal_, &previous_) != 0) Fail("tcgetattr");
    termios raw = previous_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | ISTRIP);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(terminal_, TCSANOW, &raw) != 0) Fail("tcsetattr");
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;
  ~RawMode() { ::tcsetattr(terminal_, TCSANOW, &previous_); }

 private:
  int terminal_;
  termios previous_{};
};

// How many continuation bytes follow a UTF-8 lead byte.
int ContinuationBytes(unsigned char lead) {
  if (lead >= 0xF0) return 3;
  if (lead >= 0xE0) return 2;
  if (lead >= 0xC0) return 1;
  return 0;
}

}  // namespace

std::vector<std::string> CommandLine(int argc, char** argv) { return {argv, argv + argc}; }

unsigned long LastErrorCode() { return static_cast<unsigned long>(errno); }

std::size_t ReadStandardInput(std::span<char> buffer) {
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return 0;
  }
}

void WriteToConsole(std::string_view text) {
  const Terminal terminal;
  if (WriteWhole(terminal.Get(), text).outcome != WriteOutcome::kDone) Fail("write /dev/tty");
}

void SetConsoleWindowTitle(std::string_view title) { WriteToConsole("\x1b]0;" + std::string(title) + "\a"); }

std::string ReadConsoleCharacters(unsigned long count) {
  const Terminal terminal;
  const RawMode raw(terminal.Get());
  std::string text;
  unsigned long characters = 0;
  int continuing = 0;  // bytes still to come of the last character
  while (characters < count || continuing > 0) {
    char byte = 0;
    const ssize_t read = ::read(terminal.Get(), &byte, 1);
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) Fail("read /dev/tty");
    text += byte;
    const auto value = static_cast<unsigned char>(byte);
    if ((value & 0xC0) == 0x80) {
      if (continuing > 0) --continuing;
    } else {
      ++characters;
      continuing = ContinuationBytes(value);
    }
  }
  return text;
}

std::string ConsoleSize() {
  const Terminal terminal;
  winsize size{};
  if (::ioctl(terminal.Get(), TIOCGWINSZ, &size) != 0) Fail("TIOCGWINSZ");
  return std::to_string(size.ws_col) + "x" + std::to_string(size.ws_row);
}

bool HandleIsOpen(unsigned long value) { return ::fcntl(static_cast<int>(value), F_GETFD) != -1; }
void IgnoreHangup() { ::signal(SIGHUP, SIG_IGN); }

void ExecWithoutPidfdOpen(const std::vector<std::string>& command) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pidfd_open, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
    Fail("seccomp");
  }
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  Fail("exec " + command.at(0));
}

void StartDaemon(unsigned long milliseconds) {
  const pid_t middle = ::fork();
  if (middle < 0) Fail("fork");
  if (middle == 0) {
    ::setsid();
    ::signal(SIGHUP, SIG_IGN);
    const pid_t daemon = ::fork();
    if (daemon < 0) Fail("fork");
    if (daemon == 0) {
      SleepMilliseconds(milliseconds);
    } else {
      WriteWhole(STDOUT_FILENO, "daemon:" + std::to_string(daemon) + "\n");
    }
    ::_exit(0);
  }
  RetryOnInterrupt([middle] { return ::waitpid(middle, nullptr, 0); });
}

void SleepMilliseconds(unsigned long milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

unsigned long ProcessId() { return static_cast<unsigned long>(::getpid()); }

void ExitNow(unsigned long code) { ::_exit(static_cast<int>(code)); }

}  // namespace snh::test_client
