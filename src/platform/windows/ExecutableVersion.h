#pragma once

#include <string>

namespace snh {

// The file version of the running executable, "major.minor.build.revision", read from its version
// resource on every call.
std::string GetExecutableVersion();

}  // namespace snh
