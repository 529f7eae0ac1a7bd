#pragma once

// Starting a program as a browser starts its native host, with pipes on its three standard streams,
// and talking to it through them. Used by the terminal client and by the tests.

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PipeReadPort.h"
#include "platform/PipeWritePort.h"
#include "platform/UniqueHandle.h"

namespace snh::client {

class ChildProcess {
 public:
  // Throws std::runtime_error when the process cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  // Kills the process if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Writes all bytes to the child's standard input; false once the pipe is broken or closed.
  bool WriteInput(std::string_view bytes);
  // Closes the caller's end of the input pipe, so the child sees end of input.
  void CloseInput();

  // Closes the harness's end of the output pipe, as a browser that stops listening does; the caller
  // makes sure no ReadOutput is in progress.
  void CloseOutput();

  // Block until some bytes arrive; 0 means the stream ended, or CancelPendingIo() was called and the
  // pipe holds nothing more.
  std::size_t ReadOutput(std::span<char> buffer);
  std::size_t ReadError(std::span<char> buffer);
  // Makes reads and writes give up instead of waiting, now and from now on; safe from any thread.
  void CancelPendingIo();

  // The exit status once the process has ended, or nothing when it still runs after the timeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  void Kill();
  unsigned long ProcessId() const;

 private:
  struct State;  // the process, as each platform keeps it
  // Defined where State is.
  struct StateDeleter {
    void operator()(State* state) const;
  };
  using StatePointer = std::unique_ptr<State, StateDeleter>;
  struct Started {
    StatePointer process;
    // The caller's ends of the three pipes; the child's are closed by then.
    UniqueHandle input;
    UniqueHandle output;
    UniqueHandle error;
  };

  // Per platform.
  static Started Start(const std::string& program, const std::vector<std::string>& arguments);
  explicit ChildProcess(Started started);

  StatePointer process_;
  std::mutex inputMutex_;
  UniqueHandle input_;       // guarded by inputMutex_
  PipeWritePort inputPort_;  // touches the pipe only while a write holds inputMutex_
  UniqueHandle output_;
  std::optional<PipeReadPort> outputPort_;  // empty once the output is closed
  UniqueHandle error_;
  PipeReadPort errorPort_;
};

// Starts `program` with `arguments`; throws std::runtime_error when the process cannot be started.
std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::vector<std::string>& arguments);

}  // namespace snh::client
