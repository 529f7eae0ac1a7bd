// snh_test_client: the SSH client stand-in that the end-to-end suite asks the host to start.
//
// Its arguments are actions, carried out in order; the output of each is complete (and flushed) before
// the next begins. TEXT is UTF-8 with the escapes \n \r \t \a \e (ESC) \\ and \xHH (one byte).
//
//   argv               print the JSON array of CommandLineToArgvW(GetCommandLineW()) (UTF-8) to stdout
//                      and exit 0; every later argument is data, not an action
//   out:TEXT           WriteFile to GetStdHandle(STD_OUTPUT_HANDLE)
//   err:TEXT           WriteFile to GetStdHandle(STD_ERROR_HANDLE)
//   printf:TEXT        C runtime stdout, flushed
//   eprintf:TEXT       C runtime stderr, flushed
//   utf8-flood:N       one WriteFile of N euro signs (3 bytes each) to stdout
//   console:TEXT       WriteConsoleW to CONOUT$, with virtual-terminal processing on
//   set-title:TEXT     SetConsoleTitleW
//   console-fill:N     N bytes of printable text to CONOUT$ in one WriteConsoleW, 48 and CRLF a line
//   console-read:N     read N characters from CONIN$ (raw: no line editing, no echo) and write
//                      "got:" and them to CONOUT$
//   read:N             read N bytes of stdin (less at end of input) and print them hex-encoded to stdout
//   echo               copy each read of stdin to stdout at once, until a read that is exactly "quit"
//                      or end of input
//   sleep:MS           Sleep(MS)
//   exit:CODE          ExitProcess(CODE)
//
// Writes to the standard handles are best effort (a pseudo console may leave them unusable); any other
// failure ends the client with exit status 99 and a line on stderr.

#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::string line = "snh_test_client: " + what + " (error " + std::to_string(GetLastError()) + ")\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ExitProcess(99);
}

std::string ToUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                      nullptr);
  return text;
}

std::wstring ToWide(std::string_view text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Unescape(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      bytes += text[i];
      continue;
    }
    switch (char c = text[++i]) {
      case 'n':
        bytes += '\n';
        break;
      case 'r':
        bytes += '\r';
        break;
      case 't':
        bytes += '\t';
        break;
      case 'a':
        bytes += '\a';
        break;
      case 'e':
        bytes += '\x1b';
        break;
      case 'x':
        if (i + 2 >= text.size()) Fail("\\x needs two hex digits");
        bytes += static_cast<char>(std::strtoul(std::string(text.substr(i + 1, 2)).c_str(), nullptr, 16));
        i += 2;
        break;
      default:
        bytes += c;
        break;
    }
  }
  return bytes;
}

unsigned long ToNumber(std::string_view text) {
  char* end = nullptr;
  std::string digits(text);
  unsigned long value = std::strtoul(digits.c_str(), &end, 10);
  if (digits.empty() || *end != '\0') Fail("not a number: " + digits);
  return value;
}

// Best effort: in a pseudo console the standard handles may not be usable, and the client goes on.
void WriteStandard(DWORD which, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
      return;
    }
    bytes.remove_prefix(written);
  }
}

void WriteStdout(std::string_view bytes) { WriteStandard(STD_OUTPUT_HANDLE, bytes); }

HANDLE OpenConsole(const wchar_t* name) {
  HANDLE console = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) Fail("open console");
  return console;
}

void WriteConsoleText(std::string_view text) {
  HANDLE console = OpenConsole(L"CONOUT$");
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
  CloseHandle(console);
}

std::string ReadConsoleChars(unsigned long count) {
  HANDLE console = OpenConsole(L"CONIN$");
  SetConsoleMode(console, 0);
  std::wstring text;
  while (text.size() < count) {
    wchar_t buffer[256];
    DWORD read = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(256, count - text.size()));
    if (!ReadConsoleW(console, buffer, wanted, &read, nullptr)) Fail("ReadConsoleW");
    text.append(buffer, read);
  }
  CloseHandle(console);
  return ToUtf8(text);
}

std::string ReadStdin(unsigned long count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    DWORD read = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), bytes.data() + filled, static_cast<DWORD>(count - filled),
                  &read, nullptr) ||
        read == 0) {
      break;
    }
    filled += read;
  }
  bytes.resize(filled);
  return bytes;
}

void Echo() {
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    const std::string_view bytes(buffer, read);
    if (bytes == "quit") return;
    WriteStdout(bytes);
  }
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0xF];
  }
  return hex;
}

std::string FillText(unsigned long count) {
  static constexpr std::string_view kLine = "fill-0123456789-abcdefghijklmnopqrstuvwxyz-ABCDE\r\n";
  std::string text;
  while (text.size() < count) text += kLine;
  text.resize(count);
  return text;
}

void PrintArgv() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) Fail("CommandLineToArgvW");
  nlohmann::json array = nlohmann::json::array();
  for (int i = 0; i < count; ++i) array.push_back(ToUtf8(argv[i]));
  LocalFree(argv);
  WriteStdout(array.dump());
}

void Run(std::string_view action) {
  const std::size_t colon = action.find(':');
  const std::string_view verb = action.substr(0, colon);
  const std::string_view value =
      colon == std::string_view::npos ? std::string_view() : action.substr(colon + 1);
  if (verb == "out") {
    WriteStdout(Unescape(value));
  } else if (verb == "err") {
    WriteStandard(STD_ERROR_HANDLE, Unescape(value));
  } else if (verb == "printf") {
    std::fputs(Unescape(value).c_str(), stdout);
    std::fflush(stdout);
  } else if (verb == "eprintf") {
    std::fputs(Unescape(value).c_str(), stderr);
    std::fflush(stderr);
  } else if (verb == "utf8-flood") {
    std::string text;
    for (unsigned long i = ToNumber(value); i > 0; --i) text += "\xE2\x82\xAC";
    WriteStdout(text);
  } else if (verb == "console") {
    WriteConsoleText(Unescape(value));
  } else if (verb == "set-title") {
    if (!SetConsoleTitleW(ToWide(Unescape(value)).c_str())) Fail("SetConsoleTitleW");
  } else if (verb == "console-fill") {
    WriteConsoleText(FillText(ToNumber(value)));
  } else if (verb == "console-read") {
    WriteConsoleText("got:" + ReadConsoleChars(ToNumber(value)));
  } else if (verb == "read") {
    WriteStdout(Hex(ReadStdin(ToNumber(value))));
  } else if (verb == "echo") {
    Echo();
  } else if (verb == "sleep") {
    Sleep(ToNumber(value));
  } else if (verb == "exit") {
    ExitProcess(ToNumber(value));
  } else {
    Fail("unknown action: " + std::string(action));
  }
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) Fail("CommandLineToArgvW");
  std::vector<std::string> actions;
  for (int i = 1; i < count; ++i) actions.push_back(ToUtf8(argv[i]));
  LocalFree(argv);

  for (const std::string& action : actions) {
    if (action == "argv") {
      PrintArgv();
      return 0;
    }
    Run(action);
  }
  return 0;
}
