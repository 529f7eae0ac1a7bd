#include "HostPlatform.h"

namespace snh::conformance {

const HostPlatform& TheHostPlatform() {
  static const HostPlatform platform{
      .consoleSize = std::nullopt,
      .missingFileText = std::nullopt,
      .systemTextEnd = "\r\n",
      .pseudoConsoleSendsItsOwnEscapes = true,
      .pseudoConsoleCarriesStandardStreams = false,
  };
  return platform;
}

// Under Wine, build paths arrive in Linux form; Windows calls and the host need the Z: drive form.
std::string ToProgramPath(std::string path) {
  if (!path.empty() && path.front() == '/') {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
  return path;
}

}  // namespace snh::conformance
