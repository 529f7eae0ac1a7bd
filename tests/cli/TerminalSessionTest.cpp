// The client in a real terminal (a pty it takes as its controlling terminal), typed at as a person
// would: raw mode while it runs, the session's output on the screen, ~. or a signal to end, and the
// terminal's modes, screen and title as they were afterwards, its size followed. POSIX only.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "CliTest.h"
#include "platform/UniqueHandle.h"

extern char** environ;

namespace snh::cli_test {
namespace {

constexpr std::string_view kPrompt = "snh-prompt> ";

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class TerminalSession {
 public:
  explicit TerminalSession(std::vector<std::string> arguments, std::string program = Programs().cli)
      : cli_(std::move(program)) {
    std::vector<char*> argv{cli_.data()};
    for (std::string& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    // A prompt the test can wait for, whoever runs it.
    std::vector<std::string> environment{"PS1=" + std::string(kPrompt)};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      if (!std::string_view(*variable).starts_with("PS1=")) environment.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    winsize size{24, 80, 0, 0};
    int master = -1;
    pid_ = ::forkpty(&master, nullptr, nullptr, &size);
    if (pid_ == 0) {
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    master_ = UniqueHandle(master);
    if (pid_ < 0 || !master_) throw std::runtime_error(std::string("forkpty: ") + std::strerror(errno));
    // The modes a shell would have left: canonical, echoing, signals on.
    ::tcgetattr(master_.get(), &initial_);
  }
  ~TerminalSession() {
    if (!exitCode_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  const termios& InitialModes() const { return initial_; }
  termios CurrentModes() const {
    termios modes{};
    ::tcgetattr(master_.get(), &modes);
    return modes;
  }

  void Type(std::string_view keys) {
    ASSERT_EQ(::write(master_.get(), keys.data(), keys.size()), ssize_t(keys.size()));
  }

  // Reads the screen until `text` has appeared at or after `from`; false after the timeout.
  bool WaitForText(std::string_view text, std::size_t from = 0, std::chrono::milliseconds timeout = 15s) {
    const auto deadline = Clock::now() + timeout;
    while (screen_.find(text, from) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{master_.get(), POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t count = ::read(master_.get(), buffer, sizeof buffer);
      if (count <= 0) return screen_.find(text, from) != std::string::npos;
      screen_.append(buffer, static_cast<std::size_t>(count));
    }
    return true;
  }
  const std::string& Screen() const { return screen_; }

  void Signal(int signal) { ::kill(pid_, signal); }
  // As a terminal emulator does when its window changes: the client gets SIGWINCH.
  void Resize(unsigned short columns, unsigned short rows) {
    const winsize size{rows, columns, 0, 0};
    ASSERT_EQ(::ioctl(master_.get(), TIOCSWINSZ, &size), 0);
  }

  // The exit status as a shell reports it, or nothing when still running after the timeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout = 15s) {
    const auto deadline = Clock::now() + timeout;
    while (!exitCode_ && Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exitCode_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        WaitForText("\x01\x02 never printed", 0, 1s);  // what it wrote last, up to the pty's end
        break;
      }
      WaitForText("\x01\x02 never printed", 0, 20ms);  // keeps the pty drained meanwhile
    }
    return exitCode_;
  }

 private:
  std::string cli_;
  pid_t pid_ = -1;
  UniqueHandle master_;
  termios initial_{};
  std::string screen_;
  std::optional<int> exitCode_;
};

void ExpectSameModes(const termios& before, const termios& after) {
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
}

std::vector<std::string> ShellSession() { return {"--host", Programs().host, "--program", "/bin/sh"}; }

// What the client writes last: the alternate screen left, the program's modes off, the title back.
void ExpectProgramModesPutBack(const std::string& screen, std::size_t from) {
  const std::size_t left = screen.find("\x1b[?1049l\x18\x1b[?1000l\x1b[?1002l", from);
  EXPECT_NE(screen.find("\x1b[?2004l\x1b[?25h", left), std::string::npos) << screen;
  EXPECT_TRUE(screen.ends_with("\x1b[23;0t")) << screen;
}

TEST(TerminalSessionTest, TypedCommandRunsAndTheEscapeEndsWithTheTerminalRestored) {
  TerminalSession terminal(ShellSession());
  ASSERT_TRUE(terminal.WaitForText(kPrompt)) << terminal.Screen();
  // Raw while it runs: no echo, no line editing, no signals from keys.
  const termios raw = terminal.CurrentModes();
  EXPECT_EQ(raw.c_lflag & (ECHO | ICANON | ISIG), 0u);

  terminal.Type("echo snh-$((6*7))\r");
  EXPECT_TRUE(terminal.WaitForText("snh-42")) << terminal.Screen();
  // Ctrl-C is a key like any other: it reaches the foreground job, and the shell survives it. The key
  // goes only once the job itself has printed, so it is the terminal's foreground group by then.
  terminal.Type("sh -c 'echo sleeping-$((2+3)); exec sleep 30'\r");
  ASSERT_TRUE(terminal.WaitForText("sleeping-5")) << terminal.Screen();
  const std::size_t sleeping = terminal.Screen().find("sleeping-5");
  terminal.Type("\x03");
  ASSERT_TRUE(terminal.WaitForText(kPrompt, sleeping)) << terminal.Screen();
  terminal.Type("echo still-$((1+1))\r");
  EXPECT_TRUE(terminal.WaitForText("still-2")) << terminal.Screen();
  // Mid-line the escape is text; Ctrl-] (vim's key) too.
  terminal.Type("echo a~.b\x1d | od -c | head -1\r");
  EXPECT_TRUE(terminal.WaitForText("a   ~   .   b 035")) << terminal.Screen();

  // A program that leaves the alternate screen and the mouse on, then ~. at the start of a line.
  terminal.Type("printf '\\033[?1049h\\033[?1000h%s\\n' alt-$((3*3))\r");
  ASSERT_TRUE(terminal.WaitForText("alt-9")) << terminal.Screen();
  const std::size_t mark = terminal.Screen().find("alt-9");
  terminal.Type("~.");
  EXPECT_EQ(terminal.WaitForExit(), 255) << terminal.Screen();
  ExpectProgramModesPutBack(terminal.Screen(), mark);
  EXPECT_NE(terminal.Screen().find("\r\nSession of /bin/sh closed.\r\n", mark), std::string::npos);
  ExpectSameModes(terminal.InitialModes(), terminal.CurrentModes());
}

TEST(TerminalSessionTest, ProgramTerminalFollowsTheWindowAndItsExitStatusEndsTheSession) {
  TerminalSession terminal(ShellSession());
  ASSERT_TRUE(terminal.WaitForText(kPrompt)) << terminal.Screen();
  // The title is pushed after the client's own hint and before anything of the program's.
  EXPECT_LT(terminal.Screen().find("\x1b[22;0t"), terminal.Screen().find(kPrompt)) << terminal.Screen();
  terminal.Type("stty size\r");
  EXPECT_TRUE(terminal.WaitForText("24 80")) << terminal.Screen();
  // The new size travels apart from the keys, so the shell waits for it (5 s at most).
  terminal.Resize(100, 40);
  const std::size_t mark = terminal.Screen().size();
  terminal.Type(
      "for i in $(seq 50); do [ \"$(stty size)\" = '40 100' ] && break; sleep 0.1; done; stty size\r");
  EXPECT_TRUE(terminal.WaitForText("40 100\r\n", mark)) << terminal.Screen();
  terminal.Type("exit 3\r");
  EXPECT_EQ(terminal.WaitForExit(), 3) << terminal.Screen();
  EXPECT_TRUE(terminal.Screen().ends_with("\x1b[23;0t")) << terminal.Screen();
  ExpectSameModes(terminal.InitialModes(), terminal.CurrentModes());
}

TEST(TerminalSessionTest, EndOfPipedInputEndsTheProgramsInput) {
  for (const char* input : {"echo hi", "printf hi"}) {
    SCOPED_TRACE(input);
    TerminalSession terminal(
        {"-c", std::string(input) + R"( | "$0" --host "$1" --program cat)", Programs().cli, Programs().host},
        "/bin/sh");
    EXPECT_EQ(terminal.WaitForExit(), 0) << terminal.Screen();
    EXPECT_NE(terminal.Screen().find("hi"), std::string::npos) << terminal.Screen();
  }
}

TEST(TerminalSessionTest, TerminatingSignalRestoresTheTerminal) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    TerminalSession terminal(ShellSession());
    ASSERT_TRUE(terminal.WaitForText(kPrompt)) << terminal.Screen();
    terminal.Type("printf '\\033[?1049h\\033[?2004h%s\\n' alt-$((3*3))\r");
    ASSERT_TRUE(terminal.WaitForText("alt-9")) << terminal.Screen();
    const std::size_t mark = terminal.Screen().find("alt-9");
    terminal.Signal(signal);
    EXPECT_EQ(terminal.WaitForExit(), 128 + signal);
    ExpectProgramModesPutBack(terminal.Screen(), mark);
    ExpectSameModes(terminal.InitialModes(), terminal.CurrentModes());
  }
}

TEST(TerminalSessionTest, ConsoleModeKeepsLineEditingAndShowsTheConsole) {
  TerminalSession terminal({"--host", Programs().host, "--mode", "windows_console_with_polling", "--program",
                            Programs().client, "console:Password: ", "read:3"});
  EXPECT_TRUE(terminal.WaitForText("Password: ")) << terminal.Screen();
  EXPECT_NE(terminal.CurrentModes().c_lflag & ICANON, 0u);
  terminal.Type("ab\n");
  EXPECT_TRUE(terminal.WaitForText("61620a")) << terminal.Screen();  // "ab\n", hex, from stdin
  EXPECT_EQ(terminal.WaitForExit(), 0) << terminal.Screen();
}

}  // namespace
}  // namespace snh::cli_test
