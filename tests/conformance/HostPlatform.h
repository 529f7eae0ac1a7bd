#pragma once

// How the host under test behaves where platforms legitimately differ. One description per platform
// (WindowsHostPlatform.cpp, PosixHostPlatform.cpp), chosen by the build; the tests read it as data.

#include <optional>
#include <ostream>
#include <string>

namespace snh::conformance {

struct Coord {
  int x = 0;
  int y = 0;
  bool operator==(const Coord&) const = default;
};

inline void PrintTo(const Coord& coord, std::ostream* out) {
  *out << "(" << coord.x << ", " << coord.y << ")";
}

struct HostPlatform {
  // The console modes' screen size: exact where the host sets it, nothing where the console decides
  // (the Windows host asks for 50x30, but Wine's hidden console keeps its 80 columns).
  std::optional<Coord> consoleSize;

  // A client that cannot be found is reported as "CreateProcess failed. 0x2 " and the system's text for
  // the code: that text exactly where it is fixed (strerror), nothing where the system words it (Windows
  // and Wine differ), and then `systemTextEnd`, FormatMessage's line end on Windows.
  std::optional<std::string> missingFileText;
  std::string systemTextEnd;

  // A Windows pseudo console re-renders the client's text and always sends escape sequences of its own;
  // a pty passes the client's bytes on as they are.
  bool pseudoConsoleSendsItsOwnEscapes = false;
  // On POSIX the pty is the client's stdin, stdout and stderr too, so what the client writes to its
  // standard streams arrives as pseudo console output, byte for byte. Windows' pseudo console carries
  // them but re-renders them; under Wine, where the Windows build is tested, they are empty.
  bool pseudoConsoleCarriesStandardStreams = false;
  bool batchFilesRunInCmd = false;  // .bat and .cmd files run through cmd.exe

  // The exit code of a client ended by disconnect: SIGKILL's 128 + 9, or the code TerminateProcess gives.
  int disconnectExitCode = 0;
  // The TERM of a pseudo-console client whose host has none; Windows sets none.
  std::optional<std::string> defaultTerm;
  // Sets (or, with nothing, removes) a variable of this process's environment, which hosts inherit.
  static void SetEnvironment(const std::string& name, const std::optional<std::string>& value);
};

const HostPlatform& TheHostPlatform();

// What a process holds, for the soak tests: open fds (Linux) or handles (Windows), threads, and
// resident memory.
struct ProcessResources {
  long handles = 0;
  long threads = 0;
  long residentKiB = 0;
};
ProcessResources MeasureProcess(unsigned long processId);

// Ends a process from outside, as a user or another program may (SIGKILL, TerminateProcess).
void KillProcess(unsigned long processId);

bool ProcessRunning(unsigned long processId);  // not once it has ended, reaped or not
unsigned long LeaveInheritableHandle();        // an fd (handle) that every later child inherits
// Sets (or, with an empty value, removes) a variable of the environment that later children inherit.
void SetInheritedEnvironment(const std::string& name, const std::string& value);

// A program path given on the command line in the form the host and the system calls need.
std::string ToProgramPath(std::string path);

}  // namespace snh::conformance
