#pragma once

#include <string>

namespace snh {

// The host's version, "major.minor.build.revision". On Windows it is read from the executable's
// version resource on every call; elsewhere it is the project version the host was built with.
std::string GetExecutableVersion();

}  // namespace snh
