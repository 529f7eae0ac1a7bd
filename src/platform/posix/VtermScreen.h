#pragma once

// The console screen's contents: client output rendered by libvterm, with the session's view kept
// beside it (cells already read show as blank until written again, and the cursor is counted from the
// read position, as the console's cursor is after a read on Windows). No I/O and no locking: the
// ConsoleScreen that owns it does both.
//
// libvterm has no call that erases cells or moves its cursor, and bytes written into it would mix with
// the client's own (a sequence cut between two reads, for one); so the view is kept here, and the
// client's own cursor stays where the client put it. Output passes VtermInputGuard first, so nothing
// libvterm loops or crashes on reaches it, and a screen is never narrower than kNarrowestScreen.

#include <vterm.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codec/Messages.h"
#include "platform/posix/VtermInputGuard.h"

namespace snh {

class VtermScreen final : private VtermInputGuard::Sink {
 public:
  // libvterm writes a double-width character past the edge of a row narrower than this.
  static constexpr std::int16_t kNarrowestScreen = 2;
  // What a requested size becomes.
  static Coord Fit(Coord size);

  explicit VtermScreen(Coord size);
  ~VtermScreen() override;
  VtermScreen(const VtermScreen&) = delete;
  VtermScreen& operator=(const VtermScreen&) = delete;

  void Write(std::string_view output);
  // Renders what Write holds back only to see whether more of the same follows (a run of line feeds).
  void Flush();

  Coord size() const { return Coord{static_cast<std::int16_t>(columns_), static_cast<std::int16_t>(rows_)}; }
  // The cursor, counted from the read position; remembered for Blank.
  Coord Query();
  std::u16string ReadCells(Coord from, std::int32_t count) const;
  // Blanks cells from the read position on, only those before the cursor as the last Query saw it.
  void Blank(Coord from, std::int32_t count);
  // The next read starts at the cursor as the last Query saw it.
  void MoveCursorHome();
  // Everything written so far counts as read, without being blanked.
  void SkipUnread();
  // Cells keep their row and column; the view follows them.
  void Resize(Coord size);

 private:
  struct VtermDeleter {
    void operator()(VTerm* terminal) const;
  };

  void Bytes(std::string_view bytes) override;
  void LineBreaks(std::string_view run) override;

  VTermPos Cursor() const;
  int Cells() const { return columns_ * rows_; }
  // Positions are cell indexes, row after row. A cursor waiting to wrap after a row's last cell counts
  // as the start of the next row (Cells() after the last row), so that cell is read too.
  int IndexOf(VTermPos cursor) const;
  // Where a position lands in a screen `newColumns` wide and `newRows` high.
  int Relocate(int index, int newColumns, int newRows) const;

  // libvterm's screen callbacks.
  static int OnDamage(VTermRect rect, void* self);
  static int OnMoveRect(VTermRect dest, VTermRect src, void* self);
  static int OnMoveCursor(VTermPos position, VTermPos previous, int visible, void* self);
  // Between libvterm's scroll (in the old size) and its cursor move (in the new one).
  static int OnResize(int newRows, int newColumns, void* self);

  std::unique_ptr<VTerm, VtermDeleter> terminal_;
  VTermScreen* screen_ = nullptr;
  VTermState* state_ = nullptr;
  VtermInputGuard guard_;
  int columns_;
  int rows_;
  int readPosition_ = 0;  // where the next read starts: the session's cursor home
  int queried_ = 0;       // the cursor as the last Query saw it
  bool wrapPending_ = false;
  int wrapRow_ = 0;  // the cell whose writing left the wrap pending
  int wrapColumn_ = 0;
  bool changed_ = false;               // a cell changed or moved since it was last cleared
  std::vector<std::uint8_t> blanked_;  // read, and not written since; a flag a cell
};

}  // namespace snh
