#pragma once

// The controlling terminal of clients started in a console mode: a pty of 50 by 30 cells whose output
// is rendered by libvterm into a screen that the session reads back, as it reads a console screen
// buffer on Windows. Created at the first console-mode connect and kept for the session.

#include <vterm.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

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
  // The renderer thread may not have read the client's last writes yet.
  static constexpr bool kShowsWritesAtOnce = false;

  ConsoleScreen();
  ~ConsoleScreen();
  ConsoleScreen(const ConsoleScreen&) = delete;
  ConsoleScreen& operator=(const ConsoleScreen&) = delete;

  void Activate() {}
  NativeHandle terminal() const { return pty_.slave.get(); }

  ScreenInfo Query();
  std::u16string ReadCells(Coord from, std::int32_t count);
  // Blanks the cells from the top-left corner up to `to` (the cursor, in practice).
  void Blank(Coord from, std::int32_t count);
  void MoveCursorHome();

 private:
  void Render();  // the feeder thread: master output into the terminal model

  Pty pty_;
  std::mutex mutex_;  // guards terminal_ and the screen it renders
  VTerm* terminal_ = nullptr;
  VTermScreen* screen_ = nullptr;
  PipeReadPort masterPort_;
  std::thread renderer_;
};

}  // namespace snh
