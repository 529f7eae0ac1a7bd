#pragma once

// The terminal client's own standard streams, one implementation per platform: whether they are a
// terminal, raw mode, cancellable reads of the keyboard or of piped input, whole writes, the window's
// size and title.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace snh::client {

// In character cells.
struct WindowSize {
  int columns = 0;
  int rows = 0;
  bool operator==(const WindowSize&) const = default;
};

class LocalConsole {
 public:
  // Puts back every terminal mode it changed, and the window title once saved.
  virtual ~LocalConsole() = default;

  virtual bool InputIsTerminal() const = 0;
  virtual bool OutputIsTerminal() const = 0;

  // Keys arrive one by one, unechoed, with no signals made of them (Ctrl-C is a byte); output is
  // passed through untranslated. Restored by the destructor, and on POSIX also when a signal such as
  // SIGTERM or SIGHUP ends the process. Throws std::runtime_error when the terminal refuses.
  virtual void EnterRawMode() = 0;

  // Blocks until input arrives; 0 at end of input or once CancelInput() has been called.
  virtual std::size_t ReadInput(std::span<char> buffer) = 0;
  // Makes the current and every later ReadInput return 0; safe from any thread.
  virtual void CancelInput() = 0;

  // The size of the window that shows the output; nothing when the output is not a terminal.
  virtual std::optional<WindowSize> OutputWindowSize() const = 0;
  // Blocks until the window may have changed size; false once CancelInput() has been called. For one
  // thread besides the reader; a change seen by no waiter is reported to the next wait.
  virtual bool WaitForWindowChange() = 0;

  // Keeps the window title to put back when the console closes (also on POSIX when an ending signal
  // arrives), since the program may set its own. Only for a terminal output.
  virtual void SaveWindowTitle() = 0;

  // Whole writes; false once the stream is gone. Safe from any thread.
  virtual bool WriteOutput(std::string_view bytes) = 0;
  virtual bool WriteError(std::string_view bytes) = 0;
};

std::unique_ptr<LocalConsole> OpenLocalConsole();

// ssh-native-host next to this program's own executable.
std::string DefaultHostPath();
// The user's shell: $SHELL or /bin/sh; on Windows %ComSpec% or cmd.exe.
std::string DefaultShell();

}  // namespace snh::client
