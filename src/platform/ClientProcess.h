#pragma once

// The client program, started either in its pseudo console or on the session's console screen, with
// its standard streams on the given pipes, and bound to end with the host: in a job of its own that
// kills what is left in it when closed (Windows), or in a session of its own with a parent-death
// signal, below a host that adopts the orphans of its descendants (POSIX).

#include <cstdint>
#include <memory>
#include <optional>

#include "codec/Messages.h"
#include "platform/UniqueHandle.h"

namespace snh {

class ConsoleScreen;
class PseudoConsole;

// The client's ends of its three standard-stream pipes.
struct ChildStdio {
  NativeHandle input;
  NativeHandle output;
  NativeHandle error;
};

class ClientProcess {
 public:
  // Raises "CreateProcess failed. ..." when the program cannot be started or executed; on Windows
  // UnsafeCommandLine for a command line that would not carry the file name and arguments as they are;
  // on POSIX "pidfd_open failed. ..." when its exit cannot be watched (the client is then ended and
  // reaped). In a pseudo console the client's standard streams are the console's: a pty is all three
  // on POSIX, and on Windows the pipes of `stdio` are named but not inherited. On POSIX a pseudo-console
  // client gets TERM=xterm-256color where the host's environment has no TERM.
  static ClientProcess StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                            const ChildStdio& stdio);
  // On Windows the client attaches to the host's console, with `console` made its active screen buffer
  // first; on POSIX the console's pty is its controlling terminal.
  static ClientProcess StartInConsole(const ConnectParams& params, const ConsoleScreen& console,
                                      const ChildStdio& stdio);

  ClientProcess(ClientProcess&& other) noexcept;
  ClientProcess& operator=(ClientProcess&&) = delete;
  // A client still there is ended: with all it started, as TerminateAndWait does, on POSIX; by the
  // job's closing on Windows.
  ~ClientProcess();

  // Signalled (Windows' process handle) or readable (POSIX's pidfd) once the client has ended.
  NativeHandle handle() const;
  bool HasExited() const;
  // Ends the client and every process it started and waits until the client has ended. Windows: the
  // job. POSIX: SIGKILL to every process of the client's session and every descendant of the host, until
  // none runs (a process that takes over a second to end, or refuses the signal, is left), then the
  // client and the ended orphans the host adopted are reaped. Never raises. On Windows its exit code is
  // then 1, as `taskkill /f` leaves it; on POSIX 137, the status of a SIGKILL.
  void TerminateAndWait() noexcept;
  // The ended client's exit code (Windows: GetExitCodeProcess; POSIX: its exit status, or 128 + the
  // signal that ended it); nothing while it runs. Any thread.
  std::optional<std::int64_t> ExitCode() const;

  // Made only by the platform's own start, the one place that knows what a State holds.
  struct State;
  explicit ClientProcess(std::unique_ptr<State> state);

 private:
  std::unique_ptr<State> state_;
};

}  // namespace snh
