#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

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

ProcessResources MeasureProcess(unsigned long processId) {
  ProcessResources resources;
  const std::unique_ptr<void, decltype(&CloseHandle)> process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId), &CloseHandle);
  if (!process) return resources;
  DWORD handles = 0;
  if (GetProcessHandleCount(process.get(), &handles)) resources.handles = static_cast<long>(handles);
  PROCESS_MEMORY_COUNTERS memory{};
  if (K32GetProcessMemoryInfo(process.get(), &memory, sizeof memory)) {
    resources.residentKiB = static_cast<long>(memory.WorkingSetSize / 1024);
  }
  const std::unique_ptr<void, decltype(&CloseHandle)> snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0),
                                                               &CloseHandle);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  if (snapshot.get() != INVALID_HANDLE_VALUE && Thread32First(snapshot.get(), &entry)) {
    do {
      if (entry.th32OwnerProcessID == processId) ++resources.threads;
    } while (Thread32Next(snapshot.get(), &entry));
  }
  return resources;
}

void KillProcess(unsigned long processId) {
  const std::unique_ptr<void, decltype(&CloseHandle)> process(
      OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId), &CloseHandle);
  if (!process) return;
  TerminateProcess(process.get(), 9);
  WaitForSingleObject(process.get(), 5000);
}

}  // namespace snh::conformance
