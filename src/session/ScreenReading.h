#pragma once

// The rules of reading a console screen: the cells from the read position up to the cursor, row after
// row with no separators, sent as one or more console_output messages; and how often polling reads.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "codec/Messages.h"

namespace snh {

// Cells from `from` up to, not including, `to`, row after row on a screen `width` cells wide.
std::int32_t CellsBetween(Coord from, Coord to, std::int16_t width);

// The position `cells` cells after `from` on a screen `width` cells wide.
Coord AdvanceCells(Coord from, std::int32_t cells, std::int16_t width);

// A message carries at most this many cells: with the worst JSON escaping (6 bytes a cell) it stays
// well under the 1 MiB that browsers accept from a host.
inline constexpr std::size_t kMaxCellsPerMessage = 128 * 1024;

// Turns one read into messages. `cells` holds what was read from `start` on; the text ends at its
// first NUL. Each message covers up to `maxCells` cells with its own start and end positions; the last
// one ends at `end` (the cursor). A pair of UTF-16 surrogates is never split between messages.
std::vector<ConsoleOutput> SplitConsoleRead(Coord size, Coord start, Coord end, std::u16string_view cells,
                                            std::size_t maxCells = kMaxCellsPerMessage);

// The shortest pause between two polls: an interval under it ("no pause": 0, negative, not a number)
// reads this often, as fast as is useful, instead of spinning a core on an unchanged screen.
inline constexpr std::chrono::milliseconds kShortestPollingPause{10};

// pollingIntervalInSeconds as the pause between two polls, from the shortest up to a day.
std::chrono::milliseconds PollingPause(double seconds);

}  // namespace snh
