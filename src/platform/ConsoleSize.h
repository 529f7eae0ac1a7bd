#pragma once

// The size every console a client gets starts with, in cells: the pseudo console and the console screen.

#include "codec/Messages.h"

namespace snh {

inline constexpr Coord kConsoleSize{50, 30};

}  // namespace snh
