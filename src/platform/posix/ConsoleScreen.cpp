#include "ConsoleScreen.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "OsError.h"

namespace snh {

namespace {

bool operator==(VTermPos a, VTermPos b) { return a.row == b.row && a.col == b.col; }

// Where a position `rows` rows down lands when those rows move, held within them.
int MoveIndex(int index, int rows, int firstRow, int endRow, int columns) {
  const int first = firstRow * columns;
  const int end = endRow * columns;
  if (index < first || index > end) return index;
  return std::clamp(index + rows * columns, first, end);
}

}  // namespace

ConsoleScreen::ConsoleScreen()
    : pty_(OpenPty(kColumns, kRows, "CreateConsoleScreenBuffer")),
      terminal_(vterm_new(kRows, kColumns)),
      blanked_(static_cast<std::size_t>(Cells())) {
  const int flags = ::fcntl(pty_.master.get(), F_GETFL);
  if (flags < 0 || ::fcntl(pty_.master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    vterm_free(terminal_);
    RaiseLastError("CreateConsoleScreenBuffer");
  }
  vterm_set_utf8(terminal_, 1);
  screen_ = vterm_obtain_screen(terminal_);
  state_ = vterm_obtain_state(terminal_);
  static constexpr VTermScreenCallbacks kCallbacks{.damage = &ConsoleScreen::OnDamage,
                                                   .moverect = &ConsoleScreen::OnMoveRect,
                                                   .movecursor = &ConsoleScreen::OnMoveCursor,
                                                   .settermprop = nullptr,
                                                   .bell = nullptr,
                                                   .resize = &ConsoleScreen::OnResize,
                                                   .sb_pushline = nullptr,
                                                   .sb_popline = nullptr};
  vterm_screen_set_callbacks(screen_, &kCallbacks, this);
  vterm_screen_set_damage_merge(screen_, VTERM_DAMAGE_CELL);
  vterm_screen_reset(screen_, /*hard=*/1);
  renderer_ = std::thread(&ConsoleScreen::Render, this);
}

ConsoleScreen::~ConsoleScreen() {
  stop_.Raise();
  if (renderer_.joinable()) renderer_.join();
  vterm_free(terminal_);
}

void ConsoleScreen::Render() {
  for (;;) {
    pollfd fds[2] = {{pty_.master.get(), POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    std::lock_guard lock(mutex_);
    RenderPendingLocked();
    // The session holds the terminal, so the master has no end; a failing master leaves the screen
    // as it is rather than spinning.
    if ((fds[0].revents & (POLLERR | POLLNVAL)) != 0) return;
  }
}

void ConsoleScreen::RenderPendingLocked() {
  // More than a pty holds at once, so a client that never stops writing cannot hold the lock forever.
  constexpr int kMostReads = 32;
  std::array<char, 4096> buffer;
  for (int reads = 0; reads < kMostReads; ++reads) {
    const ssize_t count = ::read(pty_.master.get(), buffer.data(), buffer.size());
    if (count > 0) {
      vterm_input_write(terminal_, buffer.data(), static_cast<std::size_t>(count));
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // nothing more now (EAGAIN), or no more at all
    }
  }
}

int ConsoleScreen::IndexOf(VTermPos cursor) const {
  if (wrapPending_ && cursor == wrapCell_) return (cursor.row + 1) * columns_;
  return cursor.row * columns_ + cursor.col;
}

int ConsoleScreen::OnDamage(VTermRect rect, void* self) {
  auto& screen = *static_cast<ConsoleScreen*>(self);
  for (int row = std::max(rect.start_row, 0); row < std::min(rect.end_row, screen.rows_); ++row) {
    for (int column = std::max(rect.start_col, 0); column < std::min(rect.end_col, screen.columns_);
         ++column) {
      screen.blanked_[static_cast<std::size_t>(row * screen.columns_ + column)] = false;
    }
  }
  // A character written into the cursor's cell that reaches the row's end leaves the cursor there,
  // waiting to wrap: libvterm does not say so, the cell shows it.
  VTermPos cursor;
  vterm_state_get_cursorpos(screen.state_, &cursor);
  VTermScreenCell cell;
  if (vterm_rect_contains(rect, cursor) && vterm_screen_get_cell(screen.screen_, cursor, &cell) &&
      cell.chars[0] != 0 && cursor.col + cell.width >= screen.columns_) {
    screen.wrapPending_ = true;
    screen.wrapCell_ = cursor;
  }
  return 1;
}

int ConsoleScreen::OnMoveRect(VTermRect to, VTermRect from, void* self) {
  auto& screen = *static_cast<ConsoleScreen*>(self);
  const int rows = from.end_row - from.start_row;
  const int columns = from.end_col - from.start_col;
  const int width = screen.columns_;
  std::vector<bool> moved = screen.blanked_;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      moved[static_cast<std::size_t>((to.start_row + row) * width + to.start_col + column)] =
          screen.blanked_[static_cast<std::size_t>((from.start_row + row) * width + from.start_col + column)];
    }
  }
  screen.blanked_.swap(moved);
  // Scrolling: positions travel with their rows; one whose row leaves the region goes to its edge.
  if (from.start_col == 0 && from.end_col == width) {
    const int down = to.start_row - from.start_row;
    const int first = std::min(to.start_row, from.start_row);
    const int end = std::max(to.end_row, from.end_row);
    screen.readPosition_ = MoveIndex(screen.readPosition_, down, first, end, width);
    screen.queried_ = MoveIndex(screen.queried_, down, first, end, width);
  }
  return 1;  // the cells moved; nothing to redraw
}

int ConsoleScreen::OnMoveCursor(VTermPos position, VTermPos /*previous*/, int /*visible*/, void* self) {
  auto& screen = *static_cast<ConsoleScreen*>(self);
  screen.wrapPending_ = screen.wrapPending_ && position == screen.wrapCell_;
  // A cursor sent back before the read position (a carriage return, say) writes there next.
  const int cursor = screen.IndexOf(position);
  screen.readPosition_ = std::min(screen.readPosition_, cursor);
  screen.queried_ = std::min(screen.queried_, cursor);
  return 1;
}

int ConsoleScreen::Relocate(int index, int columns, int rows) const {
  int row = index / columns_;
  int column = index % columns_;
  if (column >= columns) {
    ++row;
    column = 0;
  }
  return std::min(row * columns + column, columns * rows);
}

int ConsoleScreen::OnResize(int rows, int columns, void* self) {
  auto& screen = *static_cast<ConsoleScreen*>(self);
  std::vector<bool> blanked(static_cast<std::size_t>(rows * columns));
  for (int row = 0; row < std::min(rows, screen.rows_); ++row) {
    for (int column = 0; column < std::min(columns, screen.columns_); ++column) {
      blanked[static_cast<std::size_t>(row * columns + column)] =
          screen.blanked_[static_cast<std::size_t>(row * screen.columns_ + column)];
    }
  }
  screen.blanked_.swap(blanked);
  screen.readPosition_ = screen.Relocate(screen.readPosition_, columns, rows);
  screen.queried_ = screen.Relocate(screen.queried_, columns, rows);
  screen.wrapPending_ = false;
  screen.columns_ = columns;
  screen.rows_ = rows;
  return 1;
}

void ConsoleScreen::Resize(Coord size) {
  std::lock_guard lock(mutex_);
  // What the client wrote for the old size is rendered in it.
  RenderPendingLocked();
  vterm_set_size(terminal_, size.y, size.x);
  // The cursor may have been drawn in by the new edges.
  VTermPos cursor;
  vterm_state_get_cursorpos(state_, &cursor);
  readPosition_ = std::min(readPosition_, IndexOf(cursor));
  queried_ = std::min(queried_, IndexOf(cursor));
  SetPtySize(pty_.master.get(), static_cast<unsigned short>(size.x), static_cast<unsigned short>(size.y),
             "SetConsoleScreenBufferSize");
}

ScreenInfo ConsoleScreen::Query() {
  std::lock_guard lock(mutex_);
  RenderPendingLocked();
  VTermPos cursor;
  vterm_state_get_cursorpos(state_, &cursor);
  queried_ = IndexOf(cursor);
  readPosition_ = std::min(readPosition_, queried_);
  const int unread = queried_ - readPosition_;
  return ScreenInfo{
      Coord{static_cast<std::int16_t>(columns_), static_cast<std::int16_t>(rows_)},
      Coord{static_cast<std::int16_t>(unread % columns_), static_cast<std::int16_t>(unread / columns_)}};
}

std::u16string ConsoleScreen::ReadCells(Coord from, std::int32_t count) {
  std::lock_guard lock(mutex_);
  std::u16string text;
  const std::int64_t first = std::int64_t{readPosition_} + from.y * columns_ + from.x;
  const std::int64_t end = std::min<std::int64_t>(first + std::max(count, 0), Cells());
  for (std::int64_t index = std::max<std::int64_t>(first, 0); index < end; ++index) {
    if (blanked_[static_cast<std::size_t>(index)]) {
      text.push_back(u' ');
      continue;
    }
    VTermScreenCell cell;
    vterm_screen_get_cell(
        screen_, VTermPos{static_cast<int>(index / columns_), static_cast<int>(index % columns_)}, &cell);
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

void ConsoleScreen::Blank(Coord from, std::int32_t count) {
  std::lock_guard lock(mutex_);
  const std::int64_t first = std::int64_t{readPosition_} + from.y * columns_ + from.x;
  const std::int64_t end = std::min<std::int64_t>({first + std::max(count, 0), queried_, Cells()});
  for (std::int64_t index = std::max<std::int64_t>(first, 0); index < end; ++index) {
    blanked_[static_cast<std::size_t>(index)] = true;
  }
}

void ConsoleScreen::MoveCursorHome() {
  std::lock_guard lock(mutex_);
  readPosition_ = queried_;
}

}  // namespace snh
