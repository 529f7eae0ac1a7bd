// Starts ssh-native-host exactly as a browser on Windows does (a hidden console, pipes on its standard
// input and output) and bridges it to a terminal: every line read from standard input is one JSON
// request, sent as a frame; every frame the host sends is printed as one line of JSON.
//
//   snh-launch.exe [host.exe]      (default: ssh-native-host.exe beside this program)
//
// Exit status: the host's.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "JsonLineBridge.h"

namespace {

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* put() {
    reset();
    return &handle_;
  }
  void reset() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

bool WriteAll(HANDLE pipe, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(pipe, data, size, &written, nullptr)) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool ReadAll(HANDLE pipe, char* data, DWORD size) {
  while (size > 0) {
    DWORD read = 0;
    if (!ReadFile(pipe, data, size, &read, nullptr) || read == 0) return false;
    data += read;
    size -= read;
  }
  return true;
}

std::wstring DefaultHostPath() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"ssh-native-host.exe";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring host = argc > 1 ? argv[1] : DefaultHostPath();

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  Handle hostInputRead, hostInputWrite, hostOutputRead, hostOutputWrite;
  if (!CreatePipe(hostInputRead.put(), hostInputWrite.put(), &inheritable, 0) ||
      !CreatePipe(hostOutputRead.put(), hostOutputWrite.put(), &inheritable, 0)) {
    std::fprintf(stderr, "CreatePipe failed: %lu\n", GetLastError());
    return 1;
  }
  SetHandleInformation(hostInputWrite.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(hostOutputRead.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = hostInputRead.get();
  startup.hStdOutput = hostOutputWrite.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring commandLine = L"\"" + host + L"\" chrome-extension://launcher/";
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(host.c_str(), commandLine.data(), nullptr, nullptr, /*bInheritHandles=*/TRUE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    std::fprintf(stderr, "CreateProcess failed: %lu\n", GetLastError());
    return 1;
  }
  Handle processHandle(process.hProcess), threadHandle(process.hThread);
  hostInputRead.reset();
  hostOutputWrite.reset();

  std::thread printer([&] {
    snh::launcher::PrintReplyFrames([&](char* data, std::size_t size) {
      return ReadAll(hostOutputRead.get(), data, static_cast<DWORD>(size));
    });
  });
  snh::launcher::SendRequestLines([&](const char* data, std::size_t size) {
    return WriteAll(hostInputWrite.get(), data, static_cast<DWORD>(size));
  });
  // End of input: the host tears its session down and exits, as when the browser closes the port.
  hostInputWrite.reset();
  WaitForSingleObject(processHandle.get(), INFINITE);
  printer.join();
  DWORD exitCode = 1;
  GetExitCodeProcess(processHandle.get(), &exitCode);
  return static_cast<int>(exitCode);
}
