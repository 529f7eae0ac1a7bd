#pragma once

// The size of every console a client gets, in cells: the pseudo console and the console screen.

#include "codec/Messages.h"

namespace snh {

inline constexpr Coord kConsoleSize{50, 30};

}  // namespace snh
