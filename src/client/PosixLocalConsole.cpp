// The terminal client's streams on POSIX. Raw mode is termios's; the saved modes, the window title
// pushed on xterm's title stack and the screen and modes the program's output changed are also put
// back by a handler for the signals that end a process, since a terminal left raw is unusable. Reads
// wait in poll on standard input and a signal that CancelInput raises; window changes arrive as
// SIGWINCH, whose handler only writes to a pipe.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
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
#include "platform/Wait.h"
#include "platform/WakeSignal.h"

namespace snh::client {
namespace {

constexpr std::array kEndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// xterm's title stack: push the icon and window titles, and pop them.
constexpr std::string_view kPushTitle = "\x1b[22;0t";
constexpr std::string_view kPopTitle = "\x1b[23;0t";

// Written before the handlers are installed (or by the thread that ends the session) and read by them.
termios savedModes;
volatile std::sig_atomic_t modesSaved = 0;
volatile std::sig_atomic_t titleSaved = 0;
volatile std::sig_atomic_t programModesWatched = 0;
// Noted by the output worker as the program's output goes by; lock-free, so a handler may read it.
std::atomic<int> alternateScreen{static_cast<int>(AlternateScreen::kOff)};
static_assert(std::atomic<int>::is_always_lock_free);
// The write end of the pipe that wakes WaitForWindowChange; -1 while no console is open.
volatile std::sig_atomic_t windowChangeWriter = -1;

void WriteFromHandler(std::string_view bytes) {
  [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
}

void PutProgramModesBackOnce() {
  if (!programModesWatched) return;
  programModesWatched = 0;
  const std::string_view leave = LeaveAlternateScreen(static_cast<AlternateScreen>(alternateScreen.load()));
  if (!leave.empty()) WriteFromHandler(leave);
  WriteFromHandler(kProgramModesOff);
}

// Only async-signal-safe calls: it runs in the ending signals' handler too.
void PutTerminalBack() {
  PutProgramModesBackOnce();
  if (modesSaved) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedModes);
  if (titleSaved) WriteFromHandler(kPopTitle);
}

void PutTerminalBackAndDie(int signal) {
  PutTerminalBack();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void InstallEndingHandlers() {
  for (int signal : kEndingSignals) std::signal(signal, PutTerminalBackAndDie);
}

void NoteWindowChange(int) {
  const int savedErrno = errno;
  const char change = 0;
  // A full pipe already holds a change not yet seen.
  [[maybe_unused]] const ssize_t written = ::write(windowChangeWriter, &change, 1);
  errno = savedErrno;
}

}  // namespace

struct LocalConsole::State {
  WakeSignal cancel;
  UniqueHandle windowChangeReader;
  UniqueHandle windowChangeWriter;
  std::mutex outputMutex;
  std::mutex errorMutex;
};

LocalConsole::LocalConsole() : state_(std::make_unique<State>()) {
  // A host or terminal that has gone away shows as a failed write.
  std::signal(SIGPIPE, SIG_IGN);
  int windowChange[2];
  if (::pipe2(windowChange, O_CLOEXEC | O_NONBLOCK) != 0) RaiseLastError("pipe2");
  state_->windowChangeReader = UniqueHandle(windowChange[0]);
  state_->windowChangeWriter = UniqueHandle(windowChange[1]);
  windowChangeWriter = state_->windowChangeWriter.get();
  struct sigaction action {};
  action.sa_handler = NoteWindowChange;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGWINCH, &action, nullptr);
}

LocalConsole::~LocalConsole() {
  std::signal(SIGWINCH, SIG_DFL);
  windowChangeWriter = -1;
  if (!modesSaved && !titleSaved && !programModesWatched) return;
  PutTerminalBack();
  modesSaved = 0;
  titleSaved = 0;
  for (int signal : kEndingSignals) std::signal(signal, SIG_DFL);
}

bool LocalConsole::InputIsTerminal() const { return ::isatty(STDIN_FILENO) == 1; }
bool LocalConsole::OutputIsTerminal() const { return ::isatty(STDOUT_FILENO) == 1; }

void LocalConsole::EnterRawMode() {
  termios modes{};
  if (::tcgetattr(STDIN_FILENO, &modes) != 0) RaiseLastError("cannot read the terminal's modes: tcgetattr");
  savedModes = modes;
  modesSaved = 1;
  InstallEndingHandlers();
  ::cfmakeraw(&modes);
  if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &modes) != 0) {
    RaiseLastError("cannot put the terminal in raw mode: tcsetattr");
  }
}

// Standard input keeps the blocking mode it came with (the terminal is shared with the shell), so a
// read starts only once the wait says it will not block.
std::size_t LocalConsole::ReadInput(std::span<char> buffer) {
  for (;;) {
    if (WaitForHandle(STDIN_FILENO, &state_->cancel) != WaitOutcome::kReady) return 0;
    const ReadResult result = ReadOnce(STDIN_FILENO, buffer);
    // Nothing after all (another reader of the terminal took it): wait again.
    if (result.outcome != ReadOutcome::kData || result.size != 0) return result.size;
  }
}

void LocalConsole::CancelInput() { state_->cancel.Raise(); }

std::optional<WindowSize> LocalConsole::OutputWindowSize() const {
  winsize size{};
  // A terminal that was never given a size reports 0x0.
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) {
    return std::nullopt;
  }
  return WindowSize{size.ws_col, size.ws_row};
}

bool LocalConsole::WaitForWindowChange() {
  if (WaitForHandle(state_->windowChangeReader.get(), &state_->cancel) != WaitOutcome::kReady) return false;
  std::array<char, 64> changes{};
  while (ReadOnce(state_->windowChangeReader.get(), changes).size != 0) {
  }
  return true;
}

void LocalConsole::SaveWindowTitle() {
  if (titleSaved || !OutputIsTerminal() || !WriteOutput(kPushTitle)) return;
  titleSaved = 1;
  InstallEndingHandlers();
}

void LocalConsole::RestoreProgramModesAtEnd() {
  if (!OutputIsTerminal()) return;
  programModesWatched = 1;
  InstallEndingHandlers();
}

void LocalConsole::NoteAlternateScreen(AlternateScreen screen) {
  alternateScreen.store(static_cast<int>(screen));
}

void LocalConsole::PutProgramModesBack() {
  std::lock_guard lock(state_->outputMutex);
  PutProgramModesBackOnce();
}

bool LocalConsole::WriteOutput(std::string_view bytes) {
  std::lock_guard lock(state_->outputMutex);
  return WriteWhole(STDOUT_FILENO, bytes).outcome == WriteOutcome::kDone;
}

bool LocalConsole::WriteError(std::string_view bytes) {
  std::lock_guard lock(state_->errorMutex);
  return WriteWhole(STDERR_FILENO, bytes).outcome == WriteOutcome::kDone;
}

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
