#pragma once

#include <string>

namespace snh {

// The host's version, "major.minor.build.revision": the project version it was built with.
std::string GetExecutableVersion();

}  // namespace snh
