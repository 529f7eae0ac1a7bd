#include <fcntl.h>
#include <signal.h>

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
      .disconnectExitCode = 128 + SIGKILL,
      .defaultTerm = "xterm-256color",
  };
  return platform;
}

void HostPlatform::SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
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
  std::string pid, name, state;  // a zombie's state is Z
  return std::ifstream("/proc/" + std::to_string(processId) + "/stat") >> pid >> name >> state &&
         state != "Z";
}
void SetInheritedEnvironment(const std::string& name, const std::string& value) {
  value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
}

unsigned long LeaveInheritableHandle() { return static_cast<unsigned long>(::open("/dev/null", O_RDONLY)); }

}  // namespace snh::conformance
