// snh_test_client on Windows: the standard handles, CONOUT$ and CONIN$ of the console it was given, and
// its argv as CommandLineToArgvW reads the command line (the reading the host's quoting must survive).

#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>

#include <algorithm>

#include "TestClientPlatform.h"
#include "codec/WideText.h"
#include "platform/UniqueHandle.h"

namespace snh::test_client {
namespace {

UniqueHandle OpenConsole(const wchar_t* name) {
  UniqueHandle console(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  if (!console) Fail("open console");
  return console;
}

}  // namespace

std::vector<std::string> CommandLine(int /*argc*/, char** /*argv*/) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) Fail("CommandLineToArgvW");
  std::vector<std::string> words;
  for (int i = 0; i < count; ++i) words.push_back(ToUtf8(argv[i]));
  LocalFree(argv);
  return words;
}

unsigned long LastErrorCode() { return GetLastError(); }

std::size_t ReadStandardInput(std::span<char> buffer) {
  DWORD read = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                nullptr)) {
    return 0;
  }
  return read;
}

void WriteToConsole(std::string_view text) {
  const UniqueHandle owner = OpenConsole(L"CONOUT$");
  HANDLE console = owner.get();
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode)) SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  std::wstring wide = ToWide(text);
  std::wstring_view rest = wide;
  while (!rest.empty()) {
    DWORD written = 0;
    if (!WriteConsoleW(console, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr)) {
      Fail("WriteConsoleW");
    }
    rest.remove_prefix(written);
  }
}

void SetConsoleWindowTitle(std::string_view title) {
  if (!SetConsoleTitleW(ToWide(title).c_str())) Fail("SetConsoleTitleW");
}

std::string ReadConsoleCharacters(unsigned long count) {
  const UniqueHandle owner = OpenConsole(L"CONIN$");
  HANDLE console = owner.get();
  SetConsoleMode(console, 0);
  std::wstring text;
  while (text.size() < count) {
    wchar_t buffer[256];
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(256, count - text.size()));
    if (!ReadConsoleW(console, buffer, wanted, &read, nullptr)) Fail("ReadConsoleW");
    text.append(buffer, read);
  }
  return ToUtf8(text);
}

std::string ConsoleSize() {
  const UniqueHandle console = OpenConsole(L"CONOUT$");
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(console.get(), &info)) Fail("GetConsoleScreenBufferInfo");
  const SMALL_RECT& w = info.srWindow;
  return std::to_string(w.Right - w.Left + 1) + "x" + std::to_string(w.Bottom - w.Top + 1);
}

bool HandleIsOpen(unsigned long value) {
  DWORD flags = 0;
  return GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)), &flags) &&
         (flags & HANDLE_FLAG_INHERIT) != 0;
}
void IgnoreHangup() {}  // nothing ends a Windows program when its parent dies

void SleepMilliseconds(unsigned long milliseconds) { Sleep(milliseconds); }

// A job object ends the whole tree on Windows; the daemon case is a POSIX one.
void StartDaemon(unsigned long /*milliseconds*/) { Fail("daemon: is a POSIX action"); }

unsigned long ProcessId() { return GetCurrentProcessId(); }

void ExitNow(unsigned long code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace snh::test_client
