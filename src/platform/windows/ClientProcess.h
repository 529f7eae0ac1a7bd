#pragma once

// The client program: started with a quoted command line, either in a pseudo console or in the host's
// console, with pipes as its standard streams, in a job of its own that ends with the host.

#include <cstdint>
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
  // Raises "CreateProcess failed. ..." on failure, and UnsafeCommandLine for a command line that would
  // not carry the file name and arguments as they are.
  static ClientProcess StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                            const ChildStdio& stdio);
  // The client attaches to the host's console, whose active screen buffer is `console`.
  static ClientProcess StartInConsole(const ConnectParams& params, const ConsoleScreen& console,
                                      const ChildStdio& stdio);

  NativeHandle handle() const { return process_.get(); }
  std::uint32_t id() const { return id_; }
  bool HasExited() const;
  // Ends the client and every process it started at once (exit code kTerminatedExitCode, as
  // `taskkill /f` leaves) and waits until the client has ended. Never raises.
  void TerminateAndWait() noexcept;
  static constexpr UINT kTerminatedExitCode = 1;
  // The ended client's exit code (GetExitCodeProcess). Any thread.
  std::optional<std::int64_t> ExitCode() const;

 private:
  ClientProcess(UniqueHandle job, UniqueHandle process, UniqueHandle thread, std::uint32_t id)
      : job_(std::move(job)), process_(std::move(process)), thread_(std::move(thread)), id_(id) {}
  static ClientProcess Start(const ConnectParams& params, const ChildStdio& stdio, HPCON pseudoConsole);

  // Kills what is left in it when closed: the client cannot outlive the host, even a killed one.
  UniqueHandle job_;
  UniqueHandle process_;
  UniqueHandle thread_;
  std::uint32_t id_ = 0;
};

}  // namespace snh
