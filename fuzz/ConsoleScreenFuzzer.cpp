// A hostile client of the Linux console screen: any output, cut anywhere, with a storm of resizes
// (down to one column and up to 1000) and reads in between. libvterm must neither crash nor loop
// (libFuzzer's timeout), the cursor stays on the screen, and every cell reads as one character.
//
// The input is segments split at 0xFF. A segment starting 0xFE resizes (columns and rows from the next
// four bytes, large ones only when asked, to keep runs fast), one starting 0xFD reads and blanks as the
// session does, any other is client output.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "codec/Utf.h"
#include "platform/posix/VtermScreen.h"

namespace snh {
namespace {

std::int16_t Side(unsigned char value, unsigned char large) {
  return static_cast<std::int16_t>((large & 1) != 0 ? 1 + (value * 4) % 1000 : 1 + value % 64);
}

void Read(VtermScreen& screen) {
  const Coord size = screen.size();
  const Coord cursor = screen.Query();
  FUZZ_CHECK(cursor.x >= 0 && cursor.x < size.x && cursor.y >= 0 && cursor.y <= size.y,
             "cursor on the screen");
  const std::int32_t cells = cursor.y * size.x + cursor.x;
  const std::u16string text = screen.ReadCells(Coord{0, 0}, cells);
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i, ++characters) {
    if (IsHighSurrogate(text[i])) ++i;  // one character in two units
  }
  FUZZ_CHECK(characters == static_cast<std::size_t>(cells), "one character a cell");
  screen.Blank(Coord{0, 0}, cells);
  screen.MoveCursorHome();
}

}  // namespace
}  // namespace snh

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace snh;
  VtermScreen screen(Coord{50, 30});
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\xFF'), rest.size());
    const std::string_view segment = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const auto byte = [&segment](std::size_t i) { return static_cast<unsigned char>(segment[i]); };
    if (segment.size() >= 5 && byte(0) == 0xFE) {
      screen.Resize(Coord{Side(byte(1), byte(2)), Side(byte(3), byte(4))});
    } else if (!segment.empty() && byte(0) == 0xFD) {
      Read(screen);
    } else {
      screen.Write(segment);
    }
  }
  screen.Flush();
  Read(screen);
  return 0;
}
