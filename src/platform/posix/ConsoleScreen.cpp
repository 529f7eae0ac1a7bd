#include "platform/ConsoleScreen.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "codec/Utf.h"
#include "platform/ConsoleSize.h"
#include "platform/OsError.h"
#include "platform/WakeSignal.h"
#include "platform/posix/Pty.h"

// libvterm has no call that erases cells or moves its cursor, and bytes written into it would mix with
// the client's own (a sequence cut between two reads, for one). So the session's view is kept beside
// libvterm's screen; the client's own cursor stays where the client put it.

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

struct ConsoleScreen::State {
  State();
  ~State();

  void Render();  // the feeder thread: renders master output as it arrives
  // Renders whatever the master holds now, without waiting. Called with mutex held, so that bytes are
  // rendered in the order they were read.
  void RenderPendingLocked();
  // Positions are cell indexes, row after row. A cursor waiting to wrap after a row's last cell counts
  // as the start of the next row (Cells() after the last row), so that cell is read too.
  int Cells() const { return columns * rows; }
  int IndexOf(VTermPos cursor) const;
  // Where a position lands in a screen `newColumns` wide and `newRows` high, the cell keeping its row
  // and column; one past the right edge starts the next row.
  int Relocate(int index, int newColumns, int newRows) const;

  // libvterm's screen callbacks, called with mutex held.
  static int OnDamage(VTermRect rect, void* self);
  static int OnMoveRect(VTermRect dest, VTermRect src, void* self);
  static int OnMoveCursor(VTermPos position, VTermPos previous, int visible, void* self);
  // Between libvterm's scroll (in the old size) and its cursor move (in the new one).
  static int OnResize(int newRows, int newColumns, void* self);

  Pty pty;
  std::mutex mutex;  // guards terminal, the screen it renders and the read state below
  VTerm* terminal = nullptr;
  VTermScreen* screen = nullptr;
  VTermState* state = nullptr;
  int columns = kConsoleSize.x;
  int rows = kConsoleSize.y;
  int readPosition = 0;  // where the next read starts: the session's cursor home
  int queried = 0;       // the cursor as the last Query saw it
  bool wrapPending = false;
  VTermPos wrapCell{};        // the cell whose writing left the wrap pending
  std::vector<bool> blanked;  // read, and not written since; a flag a cell
  WakeSignal stop;
  std::thread renderer;
};

ConsoleScreen::State::State()
    : pty(OpenPty(kConsoleSize, "CreateConsoleScreenBuffer")),
      terminal(vterm_new(kConsoleSize.y, kConsoleSize.x)),
      blanked(static_cast<std::size_t>(Cells())) {
  const int flags = ::fcntl(pty.master.get(), F_GETFL);
  if (flags < 0 || ::fcntl(pty.master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    vterm_free(terminal);
    RaiseLastError("CreateConsoleScreenBuffer");
  }
  vterm_set_utf8(terminal, 1);
  screen = vterm_obtain_screen(terminal);
  state = vterm_obtain_state(terminal);
  static constexpr VTermScreenCallbacks kCallbacks{.damage = &State::OnDamage,
                                                   .moverect = &State::OnMoveRect,
                                                   .movecursor = &State::OnMoveCursor,
                                                   .settermprop = nullptr,
                                                   .bell = nullptr,
                                                   .resize = &State::OnResize,
                                                   .sb_pushline = nullptr,
                                                   .sb_popline = nullptr};
  vterm_screen_set_callbacks(screen, &kCallbacks, this);
  vterm_screen_set_damage_merge(screen, VTERM_DAMAGE_CELL);
  vterm_screen_reset(screen, /*hard=*/1);
  renderer = std::thread(&State::Render, this);
}

ConsoleScreen::State::~State() {
  stop.Raise();
  if (renderer.joinable()) renderer.join();
  vterm_free(terminal);
}

void ConsoleScreen::State::Render() {
  for (;;) {
    pollfd fds[2] = {{pty.master.get(), POLLIN, 0}, {stop.handle(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    std::lock_guard lock(mutex);
    RenderPendingLocked();
    // The session holds the terminal, so the master has no end; a failing master leaves the screen
    // as it is rather than spinning.
    if ((fds[0].revents & (POLLERR | POLLNVAL)) != 0) return;
  }
}

void ConsoleScreen::State::RenderPendingLocked() {
  // More than a pty holds at once, so a client that never stops writing cannot hold the lock forever.
  constexpr int kMostReads = 32;
  std::array<char, 4096> buffer;
  for (int reads = 0; reads < kMostReads; ++reads) {
    const ssize_t count = ::read(pty.master.get(), buffer.data(), buffer.size());
    if (count > 0) {
      vterm_input_write(terminal, buffer.data(), static_cast<std::size_t>(count));
    } else if (count < 0 && errno == EINTR) {
      continue;
    } else {
      return;  // nothing more now (EAGAIN), or no more at all
    }
  }
}

int ConsoleScreen::State::IndexOf(VTermPos cursor) const {
  if (wrapPending && cursor == wrapCell) return (cursor.row + 1) * columns;
  return cursor.row * columns + cursor.col;
}

int ConsoleScreen::State::Relocate(int index, int newColumns, int newRows) const {
  int row = index / columns;
  int column = index % columns;
  if (column >= newColumns) {
    ++row;
    column = 0;
  }
  return std::min(row * newColumns + column, newColumns * newRows);
}

int ConsoleScreen::State::OnDamage(VTermRect rect, void* self) {
  auto& view = *static_cast<State*>(self);
  for (int row = std::max(rect.start_row, 0); row < std::min(rect.end_row, view.rows); ++row) {
    for (int column = std::max(rect.start_col, 0); column < std::min(rect.end_col, view.columns); ++column) {
      view.blanked[static_cast<std::size_t>(row * view.columns + column)] = false;
    }
  }
  // A character written into the cursor's cell that reaches the row's end leaves the cursor there,
  // waiting to wrap: libvterm does not say so, the cell shows it.
  VTermPos cursor;
  vterm_state_get_cursorpos(view.state, &cursor);
  VTermScreenCell cell;
  if (vterm_rect_contains(rect, cursor) && vterm_screen_get_cell(view.screen, cursor, &cell) &&
      cell.chars[0] != 0 && cursor.col + cell.width >= view.columns) {
    view.wrapPending = true;
    view.wrapCell = cursor;
  }
  return 1;
}

int ConsoleScreen::State::OnMoveRect(VTermRect dest, VTermRect src, void* self) {
  auto& view = *static_cast<State*>(self);
  const int rows = src.end_row - src.start_row;
  const int columns = src.end_col - src.start_col;
  const int width = view.columns;
  std::vector<bool> moved = view.blanked;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      moved[static_cast<std::size_t>((dest.start_row + row) * width + dest.start_col + column)] =
          view.blanked[static_cast<std::size_t>((src.start_row + row) * width + src.start_col + column)];
    }
  }
  view.blanked.swap(moved);
  // Scrolling: positions travel with their rows; one whose row leaves the region goes to its edge.
  if (src.start_col == 0 && src.end_col == width) {
    const int down = dest.start_row - src.start_row;
    const int first = std::min(dest.start_row, src.start_row);
    const int end = std::max(dest.end_row, src.end_row);
    view.readPosition = MoveIndex(view.readPosition, down, first, end, width);
    view.queried = MoveIndex(view.queried, down, first, end, width);
  }
  return 1;  // the cells moved; nothing to redraw
}

int ConsoleScreen::State::OnMoveCursor(VTermPos position, VTermPos /*previous*/, int /*visible*/,
                                       void* self) {
  auto& view = *static_cast<State*>(self);
  view.wrapPending = view.wrapPending && position == view.wrapCell;
  // A cursor sent back before the read position (a carriage return, say) writes there next.
  const int cursor = view.IndexOf(position);
  view.readPosition = std::min(view.readPosition, cursor);
  view.queried = std::min(view.queried, cursor);
  return 1;
}

int ConsoleScreen::State::OnResize(int newRows, int newColumns, void* self) {
  auto& view = *static_cast<State*>(self);
  std::vector<bool> blanked(static_cast<std::size_t>(newRows * newColumns));
  for (int row = 0; row < std::min(newRows, view.rows); ++row) {
    for (int column = 0; column < std::min(newColumns, view.columns); ++column) {
      blanked[static_cast<std::size_t>(row * newColumns + column)] =
          view.blanked[static_cast<std::size_t>(row * view.columns + column)];
    }
  }
  view.blanked.swap(blanked);
  view.readPosition = view.Relocate(view.readPosition, newColumns, newRows);
  view.queried = view.Relocate(view.queried, newColumns, newRows);
  view.wrapPending = false;
  view.columns = newColumns;
  view.rows = newRows;
  return 1;
}

ConsoleScreen::ConsoleScreen() : state_(std::make_unique<State>()) {}

ConsoleScreen::~ConsoleScreen() = default;

NativeHandle ConsoleScreen::clientSide() const { return state_->pty.slave.get(); }

ScreenInfo ConsoleScreen::Query() {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  view.RenderPendingLocked();
  VTermPos cursor;
  vterm_state_get_cursorpos(view.state, &cursor);
  view.queried = view.IndexOf(cursor);
  view.readPosition = std::min(view.readPosition, view.queried);
  const int unread = view.queried - view.readPosition;
  return ScreenInfo{Coord{static_cast<std::int16_t>(view.columns), static_cast<std::int16_t>(view.rows)},
                    Coord{static_cast<std::int16_t>(unread % view.columns),
                          static_cast<std::int16_t>(unread / view.columns)}};
}

std::u16string ConsoleScreen::ReadCells(Coord from, std::int32_t count) {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  std::u16string text;
  const std::int64_t first = std::int64_t{view.readPosition} + from.y * view.columns + from.x;
  const std::int64_t end = std::min<std::int64_t>(first + std::max(count, 0), view.Cells());
  for (std::int64_t index = std::max<std::int64_t>(first, 0); index < end; ++index) {
    if (view.blanked[static_cast<std::size_t>(index)]) {
      text.push_back(u' ');
      continue;
    }
    VTermScreenCell cell;
    vterm_screen_get_cell(
        view.screen, VTermPos{static_cast<int>(index / view.columns), static_cast<int>(index % view.columns)},
        &cell);
    const std::uint32_t character = cell.chars[0];
    if (character == static_cast<std::uint32_t>(-1)) continue;  // right half of a wide character
    // A cell never written is blank, as in a console.
    AppendUtf16(text, character == 0 ? U' ' : static_cast<char32_t>(character));
  }
  return text;
}

void ConsoleScreen::Blank(Coord from, std::int32_t count) {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  const std::int64_t first = std::int64_t{view.readPosition} + from.y * view.columns + from.x;
  const std::int64_t end = std::min<std::int64_t>({first + std::max(count, 0), view.queried, view.Cells()});
  for (std::int64_t index = std::max<std::int64_t>(first, 0); index < end; ++index) {
    view.blanked[static_cast<std::size_t>(index)] = true;
  }
}

void ConsoleScreen::MoveCursorHome() {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  view.readPosition = view.queried;
}

void ConsoleScreen::Resize(Coord size) {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  // What the client wrote for the old size is rendered in it.
  view.RenderPendingLocked();
  vterm_set_size(view.terminal, size.y, size.x);
  // The cursor may have been drawn in by the new edges.
  VTermPos cursor;
  vterm_state_get_cursorpos(view.state, &cursor);
  view.readPosition = std::min(view.readPosition, view.IndexOf(cursor));
  view.queried = std::min(view.queried, view.IndexOf(cursor));
  SetPtySize(view.pty.master.get(), size, "SetConsoleScreenBufferSize");
}

}  // namespace snh
