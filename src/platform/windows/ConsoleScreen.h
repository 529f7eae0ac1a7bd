#pragma once

// The session's own screen buffer in the host's console. A client started in a console mode shares the
// host's console, so what it writes to its console (prompts, for instance) lands here.

#include <cstdint>
#include <string>

#include "UniqueHandle.h"
#include "codec/Messages.h"

namespace snh {

struct ScreenInfo {
  Coord size;
  Coord cursor;
};

class ConsoleScreen {
 public:
  static constexpr short kColumns = 50;
  static constexpr short kRows = 30;

  // Creates the buffer (inheritable, so clients can write to it), asks for 50 by 30 cells (the
  // console may refuse when its window is larger) and turns on processed output and wrapping.
  ConsoleScreen();

  // Makes the buffer the console's active one, where clients' console output goes.
  void Activate();

  ScreenInfo Query();
  // `count` cells from `from` on, row after row.
  std::u16string ReadCells(Coord from, std::int32_t count);
  void Blank(Coord from, std::int32_t count);
  void MoveCursorHome();
  // Sizes the buffer and its window (as large as the buffer, where the console allows). Raises
  // "<call> failed. ..." on failure.
  void Resize(Coord size);

 private:
  UniqueHandle buffer_;
};

}  // namespace snh
