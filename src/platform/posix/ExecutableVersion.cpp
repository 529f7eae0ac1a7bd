#include "platform/ExecutableVersion.h"

namespace snh {

std::string GetExecutableVersion() { return SNH_VERSION; }

}  // namespace snh
