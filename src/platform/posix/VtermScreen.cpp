#include "platform/posix/VtermScreen.h"

#include <vterm.h>

#include <algorithm>
#include <cstring>

#include "codec/Utf.h"

namespace snh {

namespace {

bool SamePosition(VTermPos a, VTermPos b) { return a.row == b.row && a.col == b.col; }

// Where a position `rows` rows down lands when those rows move, held within them.
int MoveIndex(int index, int rows, int firstRow, int endRow, int columns) {
  const int first = firstRow * columns;
  const int end = endRow * columns;
  if (index < first || index > end) return index;
  return std::clamp(index + rows * columns, first, end);
}

}  // namespace

void VtermScreen::VtermDeleter::operator()(VTerm* terminal) const { vterm_free(terminal); }

Coord VtermScreen::Fit(Coord size) {
  return Coord{std::max(size.x, kNarrowestScreen), std::max<std::int16_t>(size.y, 1)};
}

VtermScreen::VtermScreen(Coord requested) {
  const Coord size = Fit(requested);
  columns_ = size.x;
  rows_ = size.y;
  blanked_.assign(static_cast<std::size_t>(Cells()), 0);
  terminal_.reset(vterm_new(rows_, columns_));
  if (!terminal_) throw std::bad_alloc();
  vterm_set_utf8(terminal_.get(), 1);
  screen_ = vterm_obtain_screen(terminal_.get());
  state_ = vterm_obtain_state(terminal_.get());
  static constexpr VTermScreenCallbacks kCallbacks{.damage = &VtermScreen::OnDamage,
                                                   .moverect = &VtermScreen::OnMoveRect,
                                                   .movecursor = &VtermScreen::OnMoveCursor,
                                                   .settermprop = nullptr,
                                                   .bell = nullptr,
                                                   .resize = &VtermScreen::OnResize,
                                                   .sb_pushline = nullptr,
                                                   .sb_popline = nullptr};
  vterm_screen_set_callbacks(screen_, &kCallbacks, this);
  vterm_screen_set_damage_merge(screen_, VTERM_DAMAGE_CELL);
  vterm_screen_reset(screen_, /*hard=*/1);
}

VtermScreen::~VtermScreen() = default;

void VtermScreen::Write(std::string_view output) { guard_.Scan(output, *this); }

void VtermScreen::Flush() { guard_.Flush(*this); }

void VtermScreen::Bytes(std::string_view bytes) {
  vterm_input_write(terminal_.get(), bytes.data(), bytes.size());
}

// A line feed on the scrolling region's last row scrolls it, one at the screen's last row below the
// region does nothing, any other moves the cursor down. Line feeds are written one at a time until the
// cursor stops moving; the rest of the run then comes to one scroll (SU) of as many rows, at most a
// screen at a time, and a carriage return if the rest has one.
void VtermScreen::LineBreaks(std::string_view run) {
  for (std::size_t at = 0; at < run.size(); ++at) {
    if (run[at] == '\r') {
      Bytes("\r");
      continue;
    }
    const VTermPos before = Cursor();
    changed_ = false;
    Bytes("\n");
    if (!SamePosition(Cursor(), before)) continue;
    const std::string_view rest = run.substr(at + 1);
    if (changed_) {
      auto lineFeeds = static_cast<int>(std::count(rest.begin(), rest.end(), '\n'));
      const int most = std::max(rows_ - 1, 1);
      // Past two screens' worth nothing more changes.
      for (int scrolls = 0; lineFeeds > 0 && scrolls < 2; ++scrolls) {
        const int rows = std::min(lineFeeds, most);
        const std::string scroll = "\x1b[" + std::to_string(rows) + "S";
        Bytes(scroll);
        lineFeeds -= rows;
      }
    }
    if (rest.find('\r') != std::string_view::npos) Bytes("\r");
    return;
  }
}

VTermPos VtermScreen::Cursor() const {
  VTermPos cursor;
  vterm_state_get_cursorpos(state_, &cursor);
  return cursor;
}

int VtermScreen::IndexOf(VTermPos cursor) const {
  // libvterm reports a cursor off the screen for a moment while it resizes.
  if (wrapPending_ && cursor.row == wrapRow_ && cursor.col == wrapColumn_) {
    return std::clamp((cursor.row + 1) * columns_, 0, Cells());
  }
  return std::clamp(cursor.row * columns_ + cursor.col, 0, Cells());
}

int VtermScreen::Relocate(int index, int newColumns, int newRows) const {
  int row = index / columns_;
  int column = index % columns_;
  if (column >= newColumns) {
    ++row;
    column = 0;
  }
  return std::min(row * newColumns + column, newColumns * newRows);
}

Coord VtermScreen::Query() {
  queried_ = IndexOf(Cursor());
  readPosition_ = std::min(readPosition_, queried_);
  const int unread = queried_ - readPosition_;
  return Coord{static_cast<std::int16_t>(unread % columns_), static_cast<std::int16_t>(unread / columns_)};
}

std::u16string VtermScreen::ReadCells(Coord from, std::int32_t count) const {
  std::u16string text;
  const std::int64_t first = std::int64_t{readPosition_} + from.y * columns_ + from.x;
  const std::int64_t end = std::min<std::int64_t>(first + std::max(count, 0), Cells());
  for (std::int64_t index = std::max<std::int64_t>(first, 0); index < end; ++index) {
    if (blanked_[static_cast<std::size_t>(index)] != 0) {
      text.push_back(u' ');
      continue;
    }
    VTermScreenCell cell;
    vterm_screen_get_cell(
        screen_, VTermPos{static_cast<int>(index / columns_), static_cast<int>(index % columns_)}, &cell);
    // A cell never written is blank, as in a console, and so is the right half of a double-width
    // character, so that every cell reads as one character and a row as `columns_` of them.
    const std::uint32_t character = cell.chars[0];
    const bool blank = character == 0 || character == static_cast<std::uint32_t>(-1);
    // libvterm decodes 5- and 6-byte sequences and surrogates into cells as they are.
    const bool scalar = character <= 0x10FFFF && (character < 0xD800 || character > 0xDFFF);
    AppendUtf16(text, blank ? U' ' : scalar ? static_cast<char32_t>(character) : U'\uFFFD');
  }
  return text;
}

void VtermScreen::Blank(Coord from, std::int32_t count) {
  const std::int64_t first = std::int64_t{readPosition_} + from.y * columns_ + from.x;
  const std::int64_t end = std::min<std::int64_t>({first + std::max(count, 0), queried_, Cells()});
  const std::int64_t begin = std::max<std::int64_t>(first, 0);
  if (begin < end) std::fill(blanked_.begin() + begin, blanked_.begin() + end, std::uint8_t{1});
}

void VtermScreen::MoveCursorHome() { readPosition_ = queried_; }

void VtermScreen::SkipUnread() {
  Flush();
  queried_ = IndexOf(Cursor());
  readPosition_ = queried_;
}

void VtermScreen::Resize(Coord requested) {
  Flush();
  const Coord size = Fit(requested);
  vterm_set_size(terminal_.get(), size.y, size.x);
  if (guard_.TakeMarginsSet()) {
    // Margins are reset, as xterm resets them on a resize; the cursor (which that sends home) and the
    // session's view stay where they were.
    const VTermPos cursor = Cursor();
    const int readPosition = readPosition_;
    const int queried = queried_;
    Bytes("\x1b[r\x1b[?69l\x1b[" + std::to_string(cursor.row + 1) + ";" + std::to_string(cursor.col + 1) +
          "H");
    readPosition_ = readPosition;
    queried_ = queried;
  }
  // The cursor may have been drawn in by the new edges.
  const int cursor = IndexOf(Cursor());
  readPosition_ = std::min(readPosition_, cursor);
  queried_ = std::min(queried_, cursor);
}

int VtermScreen::OnDamage(VTermRect rect, void* self) {
  auto& view = *static_cast<VtermScreen*>(self);
  view.changed_ = true;
  const int firstColumn = std::max(rect.start_col, 0);
  const int endColumn = std::min(rect.end_col, view.columns_);
  for (int row = std::max(rect.start_row, 0); row < std::min(rect.end_row, view.rows_); ++row) {
    if (firstColumn >= endColumn) break;
    auto* cells = view.blanked_.data() + static_cast<std::size_t>(row) * view.columns_;
    std::fill(cells + firstColumn, cells + endColumn, std::uint8_t{0});
  }
  // A character written into the cursor's cell that reaches the row's end leaves the cursor there,
  // waiting to wrap: libvterm does not say so, the cell shows it.
  const VTermPos cursor = view.Cursor();
  VTermScreenCell cell;
  if (vterm_rect_contains(rect, cursor) && vterm_screen_get_cell(view.screen_, cursor, &cell) &&
      cell.chars[0] != 0 && cursor.col + cell.width >= view.columns_) {
    view.wrapPending_ = true;
    view.wrapRow_ = cursor.row;
    view.wrapColumn_ = cursor.col;
  }
  return 1;
}

int VtermScreen::OnMoveRect(VTermRect dest, VTermRect src, void* self) {
  auto& view = *static_cast<VtermScreen*>(self);
  view.changed_ = true;
  const int rows = src.end_row - src.start_row;
  const auto columns = static_cast<std::size_t>(src.end_col - src.start_col);
  const int width = view.columns_;
  auto at = [&view, width](int row, int column) {
    return view.blanked_.data() + static_cast<std::size_t>(row) * width + column;
  };
  // Row by row, in the order that leaves each source row unread until it has moved.
  for (int step = 0; step < rows; ++step) {
    const int row = dest.start_row > src.start_row ? rows - 1 - step : step;
    std::memmove(at(dest.start_row + row, dest.start_col), at(src.start_row + row, src.start_col), columns);
  }
  // Scrolling: positions travel with their rows; one whose row leaves the region goes to its edge.
  if (src.start_col == 0 && src.end_col == width) {
    const int down = dest.start_row - src.start_row;
    const int first = std::min(dest.start_row, src.start_row);
    const int end = std::max(dest.end_row, src.end_row);
    view.readPosition_ = MoveIndex(view.readPosition_, down, first, end, width);
    view.queried_ = MoveIndex(view.queried_, down, first, end, width);
  }
  return 1;  // the cells moved; nothing to redraw
}

int VtermScreen::OnMoveCursor(VTermPos position, VTermPos /*previous*/, int /*visible*/, void* self) {
  auto& view = *static_cast<VtermScreen*>(self);
  view.wrapPending_ = view.wrapPending_ && position.row == view.wrapRow_ && position.col == view.wrapColumn_;
  // A cursor sent back before the read position (a carriage return, say) writes there next.
  const int cursor = view.IndexOf(position);
  view.readPosition_ = std::min(view.readPosition_, cursor);
  view.queried_ = std::min(view.queried_, cursor);
  return 1;
}

int VtermScreen::OnResize(int newRows, int newColumns, void* self) {
  auto& view = *static_cast<VtermScreen*>(self);
  std::vector<std::uint8_t> blanked(static_cast<std::size_t>(newRows) * newColumns);
  const auto kept = static_cast<std::size_t>(std::min(newColumns, view.columns_));
  for (int row = 0; row < std::min(newRows, view.rows_); ++row) {
    std::memcpy(blanked.data() + static_cast<std::size_t>(row) * newColumns,
                view.blanked_.data() + static_cast<std::size_t>(row) * view.columns_, kept);
  }
  view.blanked_.swap(blanked);
  view.readPosition_ = view.Relocate(view.readPosition_, newColumns, newRows);
  view.queried_ = view.Relocate(view.queried_, newColumns, newRows);
  view.wrapPending_ = false;
  view.columns_ = newColumns;
  view.rows_ = newRows;
  return 1;
}

}  // namespace snh
