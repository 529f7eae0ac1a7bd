#pragma once

// What snh_test_client needs from the system it runs on. The actions themselves are the same on every
// platform (snh_test_client.cpp); each platform file implements these few calls.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace snh::test_client {

// The program's own argv, as UTF-8, the program name first.
std::vector<std::string> CommandLine(int argc, char** argv);

// The system's code for the last failed call, for error lines.
unsigned long LastErrorCode();

// Some bytes of standard input; 0 at end of input or on an error.
std::size_t ReadStandardInput(std::span<char> buffer);

// The console the client runs in: CONOUT$/CONIN$ on Windows, the controlling terminal on POSIX.
void WriteToConsole(std::string_view text);
void SetConsoleWindowTitle(std::string_view title);
// Exactly `count` characters of console input, raw (no line editing, no echo), as UTF-8.
std::string ReadConsoleCharacters(unsigned long count);
// The console's size as the client sees it: "COLUMNSxROWS".
std::string ConsoleSize();

bool HandleIsOpen(unsigned long value);
void IgnoreHangup();
void SleepMilliseconds(unsigned long milliseconds);
unsigned long ProcessId();
[[noreturn]] void ExitNow(unsigned long code);
#ifndef _WIN32
[[noreturn]] void ExecWithoutPidfdOpen(const std::vector<std::string>& command);
void StartDaemon(unsigned long milliseconds);
#endif

// Writes "snh_test_client: WHAT (error CODE)" to standard error and exits with status 99.
[[noreturn]] void Fail(const std::string& what);

}  // namespace snh::test_client
