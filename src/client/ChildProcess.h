#pragma once

// Starting a program as a browser starts its native host, with pipes on its three standard streams,
// and talking to it through them. Used by the terminal client and by the tests.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace snh::client {

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  // Writes all bytes to the child's standard input; false once the pipe is broken or closed.
  virtual bool WriteInput(std::string_view bytes) = 0;
  // Closes the caller's end of the input pipe, so the child sees end of input.
  virtual void CloseInput() = 0;

  // Closes the harness's end of the output pipe, as a browser that stops listening does; the caller
  // makes sure no ReadOutput is in progress.
  virtual void CloseOutput() = 0;

  // Block until some bytes arrive; 0 means the stream ended or CancelPendingIo() interrupted the read.
  virtual std::size_t ReadOutput(std::span<char> buffer) = 0;
  virtual std::size_t ReadError(std::span<char> buffer) = 0;
  // Makes reads and writes that are blocked right now give up; safe to call from any thread.
  virtual void CancelPendingIo() = 0;

  // The exit status once the process has ended, or nothing when it still runs after the timeout.
  virtual std::optional<int> WaitForExit(std::chrono::milliseconds timeout) = 0;
  virtual void Kill() = 0;
  virtual unsigned long ProcessId() const = 0;
};

// Starts `program` with `arguments`; throws std::runtime_error when the process cannot be started.
std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::vector<std::string>& arguments);

}  // namespace snh::client
