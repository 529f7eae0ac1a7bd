#pragma once

// The terminal client's own standard streams, kept per platform behind `State`: whether they are a
// terminal, raw mode, cancellable reads of the keyboard or of piped input, whole writes, the window's
// size and title.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "client/TerminalModes.h"

namespace snh::client {

// In character cells.
struct WindowSize {
  int columns = 0;
  int rows = 0;
  bool operator==(const WindowSize&) const = default;
};

class LocalConsole {
 public:
  // Raises std::runtime_error when the streams cannot be prepared.
  LocalConsole();
  // Puts back every terminal mode it changed (and the program's, when asked), and the window title
  // once saved.
  ~LocalConsole();
  LocalConsole(const LocalConsole&) = delete;
  LocalConsole& operator=(const LocalConsole&) = delete;

  bool InputIsTerminal() const;
  bool OutputIsTerminal() const;

  // Keys arrive one by one, unechoed, with no signals made of them (Ctrl-C is a byte); output is
  // passed through untranslated. Restored by the destructor, and on POSIX also when a signal such as
  // SIGTERM or SIGHUP ends the process. Throws std::runtime_error when the terminal refuses.
  void EnterRawMode();

  // Blocks until input arrives; 0 at end of input or once CancelInput() has been called.
  std::size_t ReadInput(std::span<char> buffer);
  // Makes the current and every later ReadInput return 0; safe from any thread.
  void CancelInput();

  // The size of the window that shows the output; nothing when the output is not a terminal.
  std::optional<WindowSize> OutputWindowSize() const;
  // Blocks until the window may have changed size; false once CancelInput() has been called. For one
  // thread besides the reader; a change seen by no waiter is reported to the next wait.
  bool WaitForWindowChange();

  // Keeps the window title to put back when the console closes (also on POSIX when an ending signal
  // arrives), since the program may set its own. Only for a terminal output.
  void SaveWindowTitle();

  // The program's raw output goes to this terminal: mouse tracking and bracketed paste go off, the
  // cursor is shown and the alternate screen left (as last noted) by PutProgramModesBack, the
  // destructor, and on POSIX an ending signal. Only for a terminal output.
  void RestoreProgramModesAtEnd();
  void NoteAlternateScreen(AlternateScreen screen);
  // Once, before the client's last words, so that they show on the main screen.
  void PutProgramModesBack();

  // Whole writes; false once the stream is gone. Safe from any thread.
  bool WriteOutput(std::string_view bytes);
  bool WriteError(std::string_view bytes);

 private:
  // What each platform keeps (PosixLocalConsole.cpp, WindowsLocalConsole.cpp).
  struct State;
  std::unique_ptr<State> state_;
};

// ssh-native-host next to this program's own executable.
std::string DefaultHostPath();
// The user's shell: $SHELL or /bin/sh; on Windows %ComSpec% or cmd.exe.
std::string DefaultShell();

}  // namespace snh::client
