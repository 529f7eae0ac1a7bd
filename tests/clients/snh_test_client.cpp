// snh_test_client: the SSH client stand-in that the end-to-end suite asks the host to start.
//
// Its arguments are actions, carried out in order; the output of each is complete (and flushed) before
// the next begins. TEXT is UTF-8 with the escapes \n \r \t \a \e (ESC) \\ and \xHH (one byte).
//
//   argv               print the JSON array of the client's own argv (UTF-8) to stdout and exit 0;
//                      every later argument is data, not an action
//   without-pidfd-open PROGRAM ARGS...
//                      (POSIX) run PROGRAM where pidfd_open fails with ENOSYS, as on an old kernel
//   daemon:MS          (POSIX) start a daemon that ignores SIGHUP (fork, setsid, fork again; the middle
//                      process writes "daemon:PID\n" to stdout and exits), which sleeps MS milliseconds
//   out:TEXT           one write to the standard output handle
//   err:TEXT           one write to the standard error handle
//   printf:TEXT        C runtime stdout, flushed
//   eprintf:TEXT       C runtime stderr, flushed
//   utf8-flood:N       one write of N euro signs (3 bytes each) to stdout
//   console:TEXT       one write to the console
//   set-title:TEXT     set the console's title
//   console-fill:N     N bytes of printable text to the console in one write, 48 and CRLF a line
//   console-read:N     read N characters of console input (raw: no line editing, no echo) and write
//                      "got:" and them to the console
//   size               "size:COLUMNSxROWS" to the console: its size as the client sees it
//   env:NAME           "env:NAME=VALUE" (or "env:NAME unset") to the console
//   read:N             read N bytes of stdin (less at end of input) and print them hex-encoded to stdout
//   echo               copy each read of stdin to stdout at once, until a read that is exactly "quit"
//                      or end of input
//   flood:N            N bytes to stdout and N to stderr at once, from two threads, in writes of up to
//                      64 KiB (FloodText), while reading stdin until it ends with "quit" or ends; then
//                      "stdin-bytes:COUNT\n" to stdout, COUNT the bytes read before "quit"
//   pid                "pid:ID\n" to stdout, ID the client's process id
//   fd:N               "fd:N open\n" or "fd:N closed\n" to stdout: whether it holds fd N (Windows: an
//                      inheritable handle N; handles it opens itself are not)
//   ignore-hangup      ignore SIGHUP (POSIX), as a client may
//   base64:N           N characters of Base64Stream's text to stdout, a line end after every 76, in
//                      writes of about 64 KiB
//   sleep:MS           sleep MS milliseconds
//   exit:CODE          end the process with CODE at once
//
// The console is what the platform gives the client: on Windows CONOUT$ and CONIN$ (WriteConsoleW with
// virtual-terminal processing on, SetConsoleTitleW, ReadConsoleW), on POSIX the controlling terminal
// /dev/tty (the title as the escape sequence ESC ] 0 ; TEXT BEL). Its argv is CommandLineToArgvW's
// reading of the command line on Windows and main's argv on POSIX.
//
// Writes to the standard handles are best effort (a pseudo console may leave them unusable); any other
// failure ends the client with exit status 99 and a line on stderr.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Base64Stream.h"
#include "FloodText.h"
#include "TestClientPlatform.h"
#include "platform/PipeIo.h"
#include "platform/StandardStreams.h"

namespace snh::test_client {
namespace {

// Best effort: a write that fails ends quietly (a pseudo console may leave the handles unusable).
void WriteStandard(StandardStream stream, std::string_view bytes) {
  if (!bytes.empty()) WriteWhole(StandardHandle(stream), bytes);
}
void WriteStandardOutput(std::string_view bytes) { WriteStandard(StandardStream::kOutput, bytes); }
void WriteStandardError(std::string_view bytes) { WriteStandard(StandardStream::kError, bytes); }

}  // namespace

void Fail(const std::string& what) {
  const unsigned long code = LastErrorCode();
  WriteStandardError("snh_test_client: " + what + " (error " + std::to_string(code) + ")\n");
  ExitNow(99);
}

namespace {

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

std::string ReadStdin(unsigned long count) {
  std::string bytes(count, '\0');
  std::size_t filled = 0;
  while (filled < count) {
    const std::size_t read = ReadStandardInput(std::span(bytes).subspan(filled));
    if (read == 0) break;
    filled += read;
  }
  bytes.resize(filled);
  return bytes;
}

void Echo() {
  char buffer[4096];
  while (const std::size_t read = ReadStandardInput(buffer)) {
    const std::string_view bytes(buffer, read);
    if (bytes == "quit") return;
    WriteStandardOutput(bytes);
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

void WriteFlood(char stream, unsigned long count) {
  constexpr std::size_t kWrite = 64 * 1024;
  for (std::size_t at = 0; at < count; at += kWrite) {
    const std::string text = FloodText(stream, at, std::min<std::size_t>(kWrite, count - at));
    if (stream == 'o') {
      WriteStandardOutput(text);
    } else {
      WriteStandardError(text);
    }
  }
}

void Flood(unsigned long count) {
  std::thread out(WriteFlood, 'o', count);
  std::thread err(WriteFlood, 'e', count);
  std::string tail;  // the last 4 bytes read, to see "quit" however the reads are cut
  std::size_t total = 0;
  char buffer[4096];
  while (const std::size_t read = ReadStandardInput(buffer)) {
    total += read;
    tail = (tail + std::string(buffer, read));
    tail.erase(0, tail.size() > 4 ? tail.size() - 4 : 0);
    if (tail == "quit") {
      total -= 4;
      break;
    }
  }
  out.join();
  err.join();
  WriteStandardOutput("stdin-bytes:" + std::to_string(total) + "\n");
}

void WriteBase64(unsigned long count) {
  constexpr std::size_t kLine = 76;
  Base64Stream stream;
  std::string block;
  for (std::size_t written = 0; written < count;) {
    const std::size_t line = std::min<std::size_t>(kLine, count - written);
    block += stream.Next(line);
    block += '\n';
    written += line;
    if (block.size() >= 64 * 1024 || written == count) {
      WriteStandardOutput(block);
      block.clear();
    }
  }
}

void PrintArgv(const std::vector<std::string>& argv) { WriteStandardOutput(nlohmann::json(argv).dump()); }

void Run(std::string_view action) {
  const std::size_t colon = action.find(':');
  const std::string_view verb = action.substr(0, colon);
  const std::string_view value =
      colon == std::string_view::npos ? std::string_view() : action.substr(colon + 1);
  if (verb == "out") {
    WriteStandardOutput(Unescape(value));
  } else if (verb == "err") {
    WriteStandardError(Unescape(value));
  } else if (verb == "printf") {
    std::fputs(Unescape(value).c_str(), stdout);
    std::fflush(stdout);
  } else if (verb == "eprintf") {
    std::fputs(Unescape(value).c_str(), stderr);
    std::fflush(stderr);
  } else if (verb == "utf8-flood") {
    std::string text;
    for (unsigned long i = ToNumber(value); i > 0; --i) text += "\xE2\x82\xAC";
    WriteStandardOutput(text);
  } else if (verb == "console") {
    WriteToConsole(Unescape(value));
  } else if (verb == "set-title") {
    SetConsoleWindowTitle(Unescape(value));
  } else if (verb == "console-fill") {
    WriteToConsole(FillText(ToNumber(value)));
  } else if (verb == "console-read") {
    WriteToConsole("got:" + ReadConsoleCharacters(ToNumber(value)));
  } else if (verb == "size") {
    WriteToConsole("size:" + ConsoleSize());
  } else if (verb == "env") {
    const char* text = std::getenv(std::string(value).c_str());
    WriteToConsole("env:" + std::string(value) + (text ? "=" + std::string(text) : std::string(" unset")));
  } else if (verb == "read") {
    WriteStandardOutput(Hex(ReadStdin(ToNumber(value))));
  } else if (verb == "echo") {
    Echo();
  } else if (verb == "flood") {
    Flood(ToNumber(value));
  } else if (verb == "base64") {
    WriteBase64(ToNumber(value));
  } else if (verb == "pid") {
    WriteStandardOutput("pid:" + std::to_string(ProcessId()) + "\n");
  } else if (verb == "fd") {
    WriteStandardOutput("fd:" + std::string(value) +
                        (HandleIsOpen(ToNumber(value)) ? " open\n" : " closed\n"));
  } else if (verb == "ignore-hangup") {
    IgnoreHangup();
  } else if (verb == "sleep") {
    SleepMilliseconds(ToNumber(value));
  } else if (verb == "exit") {
    ExitNow(ToNumber(value));
  } else {
    Fail("unknown action: " + std::string(action));
  }
}

}  // namespace
}  // namespace snh::test_client

int main(int argc, char** argv) {
  using namespace snh::test_client;
  const std::vector<std::string> commandLine = CommandLine(argc, argv);
  for (std::size_t i = 1; i < commandLine.size(); ++i) {
    if (commandLine[i] == "argv") {
      PrintArgv(commandLine);
      return 0;
    }
#ifndef _WIN32
    if (commandLine[i] == "without-pidfd-open") {
      ExecWithoutPidfdOpen({commandLine.begin() + static_cast<std::ptrdiff_t>(i) + 1, commandLine.end()});
    }
    if (commandLine[i].starts_with("daemon:")) {
      StartDaemon(ToNumber(std::string_view(commandLine[i]).substr(7)));
      continue;
    }
#endif
    Run(commandLine[i]);
  }
  return 0;
}
