#pragma once

// The pseudo console of a client, kConsoleSize cells to start with: ConPTY with its input and output pipes on
// Windows, a pty on POSIX. The session writes input to it and reads the client's output from it.

#include <memory>

#include "codec/Messages.h"
#include "platform/UniqueHandle.h"

namespace snh {

class PseudoConsole {
 public:
  // Raises on failure.
  PseudoConsole();
  ~PseudoConsole();
  PseudoConsole(const PseudoConsole&) = delete;
  PseudoConsole& operator=(const PseudoConsole&) = delete;

  // Once the client has been started, drops the session's copies of the ends that are the client's
  // (the console keeps its own): the output then ends when the console is closed (Windows) or when the
  // client and everything it started have let go of the terminal (POSIX, where reading then gives EIO).
  void ReleaseClientSide();
  // Closes the console; may wait while it flushes its last output, so the output's reader must still
  // run. A pty has nothing to close before its reader stops: on POSIX this does nothing.
  void Close();
  // Sizes the console (on POSIX the pty, whose foreground processes get SIGWINCH). Raises
  // "ResizePseudoConsole failed. ..." on failure (Wine: E_NOTIMPL).
  void Resize(Coord size);

  NativeHandle inputWrite() const;
  NativeHandle outputRead() const;
  // What ClientProcess starts the client in: the HPCON on Windows, the pty's slave on POSIX.
  NativeHandle clientSide() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
