#pragma once

// The client program: started with a quoted command line, either in a pseudo console or in the host's
// console, with pipes as its standard streams.

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
  // Raises "CreateProcess failed. ..." on failure.
  static ClientProcess StartInPseudoConsole(const ConnectParams& params, const PseudoConsole& console,
                                            const ChildStdio& stdio);
  // The client attaches to the host's console, whose active screen buffer is `console`.
  static ClientProcess StartInConsole(const ConnectParams& params, const ConsoleScreen& console,
                                      const ChildStdio& stdio);

  NativeHandle handle() const { return process_.get(); }
  std::uint32_t id() const { return id_; }
  bool HasExited() const;
  // Ends the client at once (exit code 0) and waits until it has ended. Never raises.
  void TerminateAndWait() noexcept;

 private:
  ClientProcess(UniqueHandle process, UniqueHandle thread, std::uint32_t id)
      : process_(std::move(process)), thread_(std::move(thread)), id_(id) {}

  UniqueHandle process_;
  UniqueHandle thread_;
  std::uint32_t id_ = 0;
};

}  // namespace snh
