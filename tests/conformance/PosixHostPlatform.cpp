#include <signal.h>

#include "HostPlatform.h"

namespace snh::conformance {

const HostPlatform& TheHostPlatform() {
  static const HostPlatform platform{
      .consoleSize = Coord{50, 30},
      .missingFileText = "No such file or directory",
      .systemTextEnd = "",
      .pseudoConsoleSendsItsOwnEscapes = false,
      .pseudoConsoleCarriesStandardStreams = true,
  };
  return platform;
}

std::string ToProgramPath(std::string path) { return path; }

void KillProcess(unsigned long processId) { ::kill(static_cast<pid_t>(processId), SIGKILL); }

}  // namespace snh::conformance
