#pragma once

// The screen of clients started in a console mode, created at the first console-mode connect and kept
// for the session. The session reads it back cell by cell.
//
// On Windows it is the session's own screen buffer in the host's console: a client started in a
// console mode shares the host's console, so what it writes to its console (prompts, for instance)
// lands there. On POSIX it is a pty whose output libvterm renders into a screen, with the session's
// view kept beside it (cells already read show as blank until the client writes them again, and the
// cursor is counted from the read position, as the console's cursor is after a read on Windows).

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
  // one at the start) on Windows, the pty's slave (the client's controlling terminal) on POSIX.
  NativeHandle clientSide() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace snh
