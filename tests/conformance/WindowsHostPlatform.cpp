#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "HostPlatform.h"
#include "platform/UniqueHandle.h"

namespace snh::conformance {

const HostPlatform& TheHostPlatform() {
  static const HostPlatform platform{
      .consoleSize = std::nullopt,
      .missingFileText = std::nullopt,
      .systemTextEnd = "\r\n",
      .pseudoConsoleSendsItsOwnEscapes = true,
      .pseudoConsoleCarriesStandardStreams = false,
      .batchFilesRunInCmd = true,
      .disconnectExitCode = 1,
      .defaultTerm = std::nullopt,
  };
  return platform;
}

void HostPlatform::SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
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

namespace {

// The process's handles in the system's handle table: GetProcessHandleCount is a stub under Wine.
long CountHandles(unsigned long processId) {
  std::vector<unsigned char> buffer(1 << 20);
  ULONG needed = 0;
  NTSTATUS status = 0;
  while ((status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed)) ==
             static_cast<NTSTATUS>(0xC0000004L) &&  // STATUS_INFO_LENGTH_MISMATCH
         buffer.size() < (256u << 20)) {
    buffer.resize(std::max<std::size_t>(2 * buffer.size(), needed));
  }
  if (status < 0) return 0;
  const auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
  const auto* entries = reinterpret_cast<const unsigned char*>(&table->Handle[0]);
  long handles = 0;
  for (ULONG i = 0; i < table->Count; ++i) {
    SYSTEM_HANDLE_ENTRY entry;
    std::memcpy(&entry, entries + i * sizeof entry, sizeof entry);
    if (entry.OwnerPid == processId) ++handles;
  }
  return handles;
}

}  // namespace

ProcessResources MeasureProcess(unsigned long processId) {
  ProcessResources resources;
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return resources;
  resources.handles = CountHandles(processId);
  PROCESS_MEMORY_COUNTERS memory{};
  if (K32GetProcessMemoryInfo(process.get(), &memory, sizeof memory)) {
    resources.residentKiB = static_cast<long>(memory.WorkingSetSize / 1024);
  }
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  if (snapshot && Thread32First(snapshot.get(), &entry)) {
    do {
      if (entry.th32OwnerProcessID == processId) ++resources.threads;
    } while (Thread32Next(snapshot.get(), &entry));
  }
  return resources;
}

bool ProcessRunning(unsigned long processId) {
  const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  return process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void SetInheritedEnvironment(const std::string& name, const std::string& value) {
  ::SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
}

unsigned long LeaveInheritableHandle() {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  return static_cast<unsigned long>(
      reinterpret_cast<ULONG_PTR>(CreateEventW(&inheritable, TRUE, FALSE, nullptr)));
}

void KillProcess(unsigned long processId) {
  const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  if (!process) return;
  TerminateProcess(process.get(), 9);
  WaitForSingleObject(process.get(), 5000);
}

}  // namespace snh::conformance
