#pragma once

// The terminal client's own standard streams, one implementation per platform: whether they are a
// terminal, raw mode, cancellable reads of the keyboard or of piped input, and whole writes.

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace snh::client {

class LocalConsole {
 public:
  // Puts back every terminal mode it changed.
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
