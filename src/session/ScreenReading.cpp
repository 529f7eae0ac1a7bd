#include "session/ScreenReading.h"

#include <algorithm>

#include "codec/Utf.h"

namespace snh {

std::chrono::milliseconds PollingPause(double seconds) {
  constexpr double kLongestPause = 24.0 * 3600 * 1000;
  const double milliseconds = seconds * 1000.0;
  if (!(milliseconds >= static_cast<double>(kShortestPollingPause.count()))) return kShortestPollingPause;
  return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(milliseconds, kLongestPause)));
}

std::int32_t CellsBetween(Coord from, Coord to, std::int16_t width) {
  return (std::int32_t{to.y} - from.y) * width + to.x - from.x;
}

Coord AdvanceCells(Coord from, std::int32_t cells, std::int16_t width) {
  if (width <= 0) return from;
  const std::int64_t index = std::int64_t{from.y} * width + from.x + cells;
  return Coord{static_cast<std::int16_t>(index % width), static_cast<std::int16_t>(index / width)};
}

std::vector<ConsoleOutput> SplitConsoleRead(Coord size, Coord start, Coord end, std::u16string_view cells,
                                            std::size_t maxCells) {
  // The text ends at its first NUL, as a whole-text conversion would end it.
  cells = cells.substr(0, std::min(cells.find(u'\0'), cells.size()));
  maxCells = std::max<std::size_t>(maxCells, 2);

  std::vector<ConsoleOutput> messages;
  std::size_t offset = 0;
  do {
    std::size_t count = std::min(maxCells, cells.size() - offset);
    const bool last = offset + count == cells.size();
    if (!last && IsHighSurrogate(cells[offset + count - 1])) --count;
    ConsoleOutput message;
    message.consoleSize = size;
    message.startPosition = AdvanceCells(start, static_cast<std::int32_t>(offset), size.x);
    message.endPosition = last ? end : AdvanceCells(start, static_cast<std::int32_t>(offset + count), size.x);
    message.characterContent = ToUtf8(cells.substr(offset, count));
    messages.push_back(std::move(message));
    offset += count;
  } while (offset < cells.size());
  return messages;
}

}  // namespace snh
