#pragma once

// The screen of clients started in a console mode, created at the first console-mode connect and kept
// for the session. The session reads it back cell by cell.
//
// On Windows it is the session's own screen buffer in the host's console: a client started in a
// console mode shares the host's console, so what it writes to its console (prompts, for instance)
// lands there. On POSIX each connection's client gets a pty of its own, whose output libvterm renders
// into the one screen, with the session's view kept beside it (cells already read show as blank until
// the client writes them again, and the cursor is counted from the read position, as the console's
// cursor is after a read on Windows); a screen is at least 2 columns wide.

#include <cstdint>
#include <memory>
#include <string>

#include "codec/Messages.h"
#include "platform/UniqueHandle.h"

namespace snh {

struct ScreenInfo {
  Coord size;
  Coord cursor;
};

class ConsoleScreen {
 public:
  // Asks for kConsoleSize cells (a Windows console may refuse when its window is larger). Raises on
  // failure.
  ConsoleScreen();
  ~ConsoleScreen();
  ConsoleScreen(const ConsoleScreen&) = delete;
  ConsoleScreen& operator=(const ConsoleScreen&) = delete;

  // The client's side for the next client (see clientSide()): on POSIX a new terminal, and the previous
  // one closed as by CloseClientSide. Raises on failure. Nothing on Windows, where the console is the
  // host's.
  void OpenClientSide();
  // On POSIX hangs the current terminal up: what a client left behind can no longer write to the
  // screen, and what it wrote and was not read is skipped (it is not read by the next connection).
  // Nothing on Windows.
  void CloseClientSide();
  // Waits, for at most half a second, until the output the client has written so far is on the screen
  // (POSIX renders it on a thread of its own; a Windows console has it at once). Without the reads'
  // lock, so that a resize is not kept waiting.
  void Settle();

  ScreenInfo Query();
  // `count` cells from `from` on, row after row.
  std::u16string ReadCells(Coord from, std::int32_t count);
  // Blanks `count` cells from `from` on; on POSIX only those up to the cursor as the last Query saw it,
  // never text written since.
  void Blank(Coord from, std::int32_t count);
  // Moves the cursor to the origin, where the next read starts (on POSIX, the origin of the session's
  // view moves to the cursor as the last Query saw it).
  void MoveCursorHome();
  // Sizes the screen: on Windows the buffer and its window (as large as the buffer, where the console
  // allows); on POSIX the pty (the client gets SIGWINCH) and the rendered screen, cells keeping their
  // places and the session's view following them. Raises "<call> failed. ..." on failure.
  void Resize(Coord size);

  // What ClientProcess starts the client in: the screen buffer (inheritable, made the console's active
  // one at the start) on Windows, the current pty's slave (the client's controlling terminal) on POSIX.
  NativeHandle clientSide() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
