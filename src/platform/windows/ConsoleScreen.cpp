#include "ConsoleScreen.h"

#include "OsError.h"

namespace snh {

namespace {

COORD ToCOORD(Coord position) { return COORD{position.x, position.y}; }

}  // namespace

ConsoleScreen::ConsoleScreen() {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, /*lpSecurityDescriptor=*/nullptr,
                                 /*bInheritHandle=*/TRUE};
  // A failure shows as an invalid handle, which the mode calls below then report.
  buffer_.reset(CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &attributes, CONSOLE_TEXTMODE_BUFFER,
                                          /*lpScreenBufferData=*/nullptr));
  SetConsoleScreenBufferSize(buffer_.get(), COORD{kColumns, kRows});
  DWORD mode = 0;
  if (!GetConsoleMode(buffer_.get(), &mode)) RaiseLastError("GetConsoleMode");
  if (!SetConsoleMode(buffer_.get(), mode | ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT)) {
    RaiseLastError("SetConsoleMode");
  }
}

void ConsoleScreen::Activate() { SetConsoleActiveScreenBuffer(buffer_.get()); }

ScreenInfo ConsoleScreen::Query() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(buffer_.get(), &info)) RaiseLastError("GetConsoleScreenBufferInfo");
  return ScreenInfo{Coord{info.dwSize.X, info.dwSize.Y},
                    Coord{info.dwCursorPosition.X, info.dwCursorPosition.Y}};
}

std::u16string ConsoleScreen::ReadCells(Coord from, std::int32_t count) {
  if (count <= 0) return {};
  std::u16string cells(static_cast<std::size_t>(count), u'\0');
  DWORD read = 0;
  ReadConsoleOutputCharacterW(buffer_.get(), reinterpret_cast<wchar_t*>(cells.data()),
                              static_cast<DWORD>(count), ToCOORD(from), &read);
  cells.resize(std::min<std::size_t>(read, cells.size()));
  return cells;
}

void ConsoleScreen::Blank(Coord from, std::int32_t count) {
  if (count <= 0) return;
  DWORD written = 0;
  FillConsoleOutputCharacterW(buffer_.get(), L' ', static_cast<DWORD>(count), ToCOORD(from), &written);
}

void ConsoleScreen::MoveCursorHome() { SetConsoleCursorPosition(buffer_.get(), COORD{0, 0}); }

}  // namespace snh
