#pragma once

// The controlling terminal of clients started in a console mode: a pty, 50 by 30 cells to start with, whose
// output is rendered by libvterm into a screen that the session reads back, as it reads a console screen
// buffer on Windows. Created at the first console-mode connect and kept for the session.
//
// libvterm has no call that erases cells or moves its cursor, and bytes written into it would mix
// with the client's own (a sequence cut between two reads, for one). So the session's view is kept
// beside libvterm's screen: cells already read show as blank until the client writes them again, and
// the cursor is counted from the read position, as the console's cursor is after a read on Windows.
// The client's own cursor stays where the client put it.

#include <vterm.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PipeIo.h"
#include "Pty.h"
#include "codec/Messages.h"

namespace snh {

struct ScreenInfo {
  Coord size;
  Coord cursor;
};

class ConsoleScreen {
 public:
  static constexpr unsigned short kColumns = 50;
  static constexpr unsigned short kRows = 30;

  ConsoleScreen();
  ~ConsoleScreen();
  ConsoleScreen(const ConsoleScreen&) = delete;
  ConsoleScreen& operator=(const ConsoleScreen&) = delete;

  void Activate() {}
  NativeHandle terminal() const { return pty_.slave.get(); }

  ScreenInfo Query();
  std::u16string ReadCells(Coord from, std::int32_t count);
  // Blanks cells up to the cursor as the last Query saw it, never text written since.
  void Blank(Coord from, std::int32_t count);
  // Starts the next read at the cursor as the last Query saw it.
  void MoveCursorHome();
  // Sizes the pty (the client gets SIGWINCH) and the rendered screen. Cells keep their places; the
  // read state follows them. Raises "SetConsoleScreenBufferSize failed. ..." on failure.
  void Resize(Coord size);

 private:
  // Positions are cell indexes, row after row. A cursor waiting to wrap after a row's last cell
  // counts as the start of the next row (Cells() after the last row), so that cell is read too.
  int Cells() const { return columns_ * rows_; }

  void Render();  // the feeder thread: renders master output as it arrives
  // Renders whatever the master holds now, without waiting. Called with mutex_ held, so that bytes
  // are rendered in the order they were read.
  void RenderPendingLocked();
  int IndexOf(VTermPos cursor) const;

  // libvterm's screen callbacks, called with mutex_ held.
  static int OnDamage(VTermRect rect, void* self);
  static int OnMoveRect(VTermRect to, VTermRect from, void* self);
  static int OnMoveCursor(VTermPos position, VTermPos previous, int visible, void* self);
  // Between libvterm's scroll (in the old size) and its cursor move (in the new one).
  static int OnResize(int rows, int columns, void* self);
  // Where a position lands in a screen `columns` wide and `rows` high, the cell keeping its row and
  // column; one past the right edge starts the next row.
  int Relocate(int index, int columns, int rows) const;

  Pty pty_;
  std::mutex mutex_;  // guards terminal_, the screen it renders and the read state below
  VTerm* terminal_ = nullptr;
  VTermScreen* screen_ = nullptr;
  VTermState* state_ = nullptr;
  int columns_ = kColumns;
  int rows_ = kRows;
  int readPosition_ = 0;  // where the next read starts: the session's cursor home
  int queried_ = 0;       // the cursor as the last Query saw it
  bool wrapPending_ = false;
  VTermPos wrapCell_{};        // the cell whose writing left the wrap pending
  std::vector<bool> blanked_;  // read, and not written since; a flag a cell
  WakeSignal stop_;
  std::thread renderer_;
};

}  // namespace snh
