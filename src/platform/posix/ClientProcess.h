#pragma once

// The client program, started in a session of its own whose controlling terminal is either its pseudo
// console or the session's console screen, with its standard streams on the given fds.

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>

#include "UniqueHandle.h"
#include "codec/Messages.h"

namespace snh {

class ConsoleScreen;
class PseudoConsole;

struct ChildStdio {
  NativeHandle input;
  NativeHandle output;
  NativeHandle error;
};

class ClientProcess {
 public:
  // Raises "CreateProcess failed. 0x<errno> <text>" when the program cannot be started or executed,
  // "pidfd_open failed. ..." when its exit cannot be watched (the client is then ended and reaped).
  // A pseudo-console client gets TERM=xterm-256color where the host's environment has no TERM.
  static ClientProcess StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                            const ChildStdio& stdio);
  static ClientProcess StartInConsole(const ConnectParams& params, const ConsoleScreen& console,
                                      const ChildStdio& stdio);

  ClientProcess(ClientProcess&& other) noexcept;
  ClientProcess& operator=(ClientProcess&&) = delete;
  // Ends and reaps a client that is still there.
  ~ClientProcess();

  // Readable once the client has ended; its pid stays reserved until the client is reaped.
  NativeHandle handle() const { return pidfd_.get(); }
  std::uint32_t id() const { return static_cast<std::uint32_t>(pid_); }
  bool HasExited() const;
  // Kills the client's process group (SIGKILL) and reaps the client. Never raises.
  void TerminateAndWait() noexcept;
  // The ended client's exit status, or 128 + the signal that ended it (137 after TerminateAndWait);
  // nothing while it runs. Any thread.
  std::optional<std::int64_t> ExitCode() const;

 private:
  ClientProcess(pid_t pid, UniqueHandle pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}
  // `environment` is the client's, or null for the host's own.
  static ClientProcess Start(const ConnectParams& params, NativeHandle terminal, const ChildStdio& stdio,
                             char* const* environment);

  pid_t pid_ = -1;
  UniqueHandle pidfd_;
  mutable std::mutex reapMutex_;  // a status is read (without reaping) and the client reaped, not both
  bool reaped_ = false;           // guarded by reapMutex_
  int exitCode_ = 0;              // guarded by reapMutex_; once reaped
};

}  // namespace snh
