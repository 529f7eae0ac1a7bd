#include "platform/ConsoleScreen.h"

#include <windows.h>

#include <algorithm>

#include "platform/ConsoleSize.h"
#include "platform/OsError.h"

namespace snh {

namespace {

COORD ToCOORD(Coord position) { return COORD{position.x, position.y}; }

}  // namespace

struct ConsoleScreen::State {
  UniqueHandle buffer;
};

ConsoleScreen::ConsoleScreen() : state_(std::make_unique<State>()) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, /*lpSecurityDescriptor=*/nullptr,
                                 /*bInheritHandle=*/TRUE};
  // A failure shows as an invalid handle, which the mode calls below then report.
  state_->buffer.reset(CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                                                 CONSOLE_TEXTMODE_BUFFER, /*lpScreenBufferData=*/nullptr));
  const HANDLE buffer = state_->buffer.get();
  SetConsoleScreenBufferSize(buffer, ToCOORD(kConsoleSize));
  DWORD mode = 0;
  if (!GetConsoleMode(buffer, &mode)) RaiseLastError("GetConsoleMode");
  if (!SetConsoleMode(buffer, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT)) {
    RaiseLastError("SetConsoleMode");
  }
}

ConsoleScreen::~ConsoleScreen() = default;

void ConsoleScreen::OpenClientSide() {}

void ConsoleScreen::CloseClientSide() {}

void ConsoleScreen::Settle() {}

NativeHandle ConsoleScreen::clientSide() const { return state_->buffer.get(); }

ScreenInfo ConsoleScreen::Query() {
  HANDLE buffer = state_->buffer.get();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(buffer, &info)) RaiseLastError("GetConsoleScreenBufferInfo");
  Coord cursor{info.dwCursorPosition.X, info.dwCursorPosition.Y};
  // With virtual-terminal processing on (clients turn it on), a character written into a row's last
  // cell leaves the cursor there, waiting to wrap. The console does not say so, but a character in
  // that cell does, as a read blanks what it covers: the cursor then counts as the start of the next
  // row, so that the cell is read too.
  if (cursor.x == info.dwSize.X - 1) {
    wchar_t character = L' ';
    DWORD read = 0;
    ReadConsoleOutputCharacterW(buffer, &character, 1, info.dwCursorPosition, &read);
    if (read == 1 && character != L' ' && character != L'\0') {
      cursor = Coord{0, static_cast<std::int16_t>(cursor.y + 1)};
    }
  }
  return ScreenInfo{Coord{info.dwSize.X, info.dwSize.Y}, cursor};
}

std::u16string ConsoleScreen::ReadCells(Coord from, std::int32_t count) {
  if (count <= 0) return {};
  std::u16string cells(static_cast<std::size_t>(count), u'\0');
  DWORD read = 0;
  ReadConsoleOutputCharacterW(state_->buffer.get(), reinterpret_cast<wchar_t*>(cells.data()),
                              static_cast<DWORD>(count), ToCOORD(from), &read);
  cells.resize(std::min<std::size_t>(read, cells.size()));
  return cells;
}

void ConsoleScreen::Blank(Coord from, std::int32_t count) {
  if (count <= 0) return;
  DWORD written = 0;
  FillConsoleOutputCharacterW(state_->buffer.get(), L' ', static_cast<DWORD>(count), ToCOORD(from), &written);
}

void ConsoleScreen::Resize(Coord size) {
  const HANDLE buffer = state_->buffer.get();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(buffer, &info)) RaiseLastError("GetConsoleScreenBufferInfo");
  // The window never reaches past the buffer: when the buffer shrinks, the window goes first.
  const SHORT width = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
  const SHORT height = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
  if (width > size.x || height > size.y) {
    const SMALL_RECT inside{0, 0, static_cast<SHORT>(std::min(width, size.x) - 1),
                            static_cast<SHORT>(std::min(height, size.y) - 1)};
    if (!SetConsoleWindowInfo(buffer, /*bAbsolute=*/TRUE, &inside)) RaiseLastError("SetConsoleWindowInfo");
  }
  if (!SetConsoleScreenBufferSize(buffer, ToCOORD(size))) RaiseLastError("SetConsoleScreenBufferSize");
  // Then the window shows the whole buffer, as far as the console allows (nothing known: no limit).
  const COORD largest = GetLargestConsoleWindowSize(buffer);
  const SHORT columns = largest.X > 0 ? std::min(size.x, largest.X) : size.x;
  const SHORT rows = largest.Y > 0 ? std::min(size.y, largest.Y) : size.y;
  const SMALL_RECT window{0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)};
  if (!SetConsoleWindowInfo(buffer, /*bAbsolute=*/TRUE, &window)) RaiseLastError("SetConsoleWindowInfo");
}

void ConsoleScreen::MoveCursorHome() { SetConsoleCursorPosition(state_->buffer.get(), COORD{0, 0}); }

}  // namespace snh
