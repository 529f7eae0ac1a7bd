#include <windows.h>

#include <memory>

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

void KillProcess(unsigned long processId) {
  const std::unique_ptr<void, decltype(&CloseHandle)> process(
      OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId), &CloseHandle);
  if (!process) return;
  TerminateProcess(process.get(), 9);
  WaitForSingleObject(process.get(), 5000);
}

}  // namespace snh::conformance
