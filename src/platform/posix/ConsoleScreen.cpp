#include "ConsoleScreen.h"

#include <array>
#include <string_view>

#include "OsError.h"

namespace snh {

ConsoleScreen::ConsoleScreen()
    : pty_(OpenPty(kColumns, kRows, "CreateConsoleScreenBuffer")),
      terminal_(vterm_new(kRows, kColumns)),
      masterPort_(pty_.master.get()) {
  vterm_set_utf8(terminal_, 1);
  screen_ = vterm_obtain_screen(terminal_);
  vterm_screen_reset(screen_, /*hard=*/1);
  renderer_ = std::thread(&ConsoleScreen::Render, this);
}

ConsoleScreen::~ConsoleScreen() {
  masterPort_.Cancel();
  if (renderer_.joinable()) renderer_.join();
  vterm_free(terminal_);
}

void ConsoleScreen::Render() {
  std::array<char, 4096> buffer;
  for (;;) {
    const ReadResult result = masterPort_.Read(buffer);
    if (result.outcome != ReadOutcome::kData) return;
    std::lock_guard lock(mutex_);
    vterm_input_write(terminal_, buffer.data(), result.size);
  }
}

ScreenInfo ConsoleScreen::Query() {
  std::lock_guard lock(mutex_);
  VTermPos cursor;
  vterm_state_get_cursorpos(vterm_obtain_state(terminal_), &cursor);
  return ScreenInfo{Coord{static_cast<std::int16_t>(kColumns), static_cast<std::int16_t>(kRows)},
                    Coord{static_cast<std::int16_t>(cursor.col), static_cast<std::int16_t>(cursor.row)}};
}

std::u16string ConsoleScreen::ReadCells(Coord from, std::int32_t count) {
  std::lock_guard lock(mutex_);
  std::u16string text;
  std::int32_t index = from.y * kColumns + from.x;
  for (const std::int32_t end = index + count; index < end && index < kColumns * kRows; ++index) {
    VTermScreenCell cell;
    vterm_screen_get_cell(screen_, VTermPos{index / kColumns, index % kColumns}, &cell);
    const std::uint32_t character = cell.chars[0];
    if (character == static_cast<std::uint32_t>(-1)) continue;  // right half of a wide character
    if (character == 0) {
      text.push_back(u' ');  // a cell never written is blank, as in a console
    } else if (character < 0x10000) {
      text.push_back(static_cast<char16_t>(character));
    } else {
      text.push_back(static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF)));
    }
  }
  return text;
}

void ConsoleScreen::Blank(Coord /*from*/, std::int32_t count) {
  if (count <= 0) return;
  // Erase from the top-left corner to the cursor: the cells just read.
  static constexpr std::string_view kEraseToCursor = "\x1b[1J";
  std::lock_guard lock(mutex_);
  vterm_input_write(terminal_, kEraseToCursor.data(), kEraseToCursor.size());
}

void ConsoleScreen::MoveCursorHome() {
  static constexpr std::string_view kCursorHome = "\x1b[H";
  std::lock_guard lock(mutex_);
  vterm_input_write(terminal_, kCursorHome.data(), kCursorHome.size());
}

}  // namespace snh
