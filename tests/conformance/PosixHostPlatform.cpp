#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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

ProcessResources MeasureProcess(unsigned long processId) {
  const std::filesystem::path proc = "/proc/" + std::to_string(processId);
  const auto count = [](const std::filesystem::path& directory) {
    return static_cast<long>(
        std::distance(std::filesystem::directory_iterator(directory), std::filesystem::directory_iterator()));
  };
  ProcessResources resources{.handles = count(proc / "fd"), .threads = count(proc / "task")};
  std::ifstream status(proc / "status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) resources.residentKiB = std::stol(line.substr(6));
  }
  return resources;
}

void KillProcess(unsigned long processId) { ::kill(static_cast<pid_t>(processId), SIGKILL); }

bool ProcessRunning(unsigned long processId) {
  // The third field of stat is the state; Z is a zombie.
  std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
  std::string pid, name, state;
  return static_cast<bool>(stat >> pid >> name >> state) && state != "Z";
}

StrayHandle::StrayHandle() : value_(static_cast<unsigned long>(::open("/dev/null", O_RDONLY))) {}
StrayHandle::~StrayHandle() { ::close(static_cast<int>(value_)); }

}  // namespace snh::conformance
