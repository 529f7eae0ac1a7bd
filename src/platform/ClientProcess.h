#pragma once

// The client program, started in a session of its own whose controlling terminal is either its pseudo
// console or the session's console screen, with its standard streams on the given fds.

#include <sys/types.h>

#include <cstdint>

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

 private:
  ClientProcess(pid_t pid, UniqueHandle pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}
  static ClientProcess Start(const ConnectParams& params, NativeHandle terminal, const ChildStdio& stdio);

  pid_t pid_ = -1;
  UniqueHandle pidfd_;
  bool reaped_ = false;
};

}  // namespace snh
