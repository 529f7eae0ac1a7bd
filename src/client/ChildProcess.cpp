#include "client/ChildProcess.h"

#include <utility>

namespace snh::client {
namespace {

// 0 at the end, on a failure, and once a cancelled port finds the pipe empty.
std::size_t ReadSome(PipeReadPort& port, std::span<char> buffer) {
  for (;;) {
    const ReadResult result = port.Read(buffer);
    if (result.outcome != ReadOutcome::kData) return 0;
    if (result.size != 0) return result.size;
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : ChildProcess(Start(program, arguments)) {}

ChildProcess::ChildProcess(Started started)
    : process_(std::move(started.process)),
      input_(std::move(started.input)),
      inputPort_(input_.get()),
      output_(std::move(started.output)),
      outputPort_(std::in_place, output_.get()),
      error_(std::move(started.error)),
      errorPort_(error_.get()) {}

ChildProcess::~ChildProcess() {
  if (!WaitForExit(std::chrono::milliseconds(0))) Kill();
}

bool ChildProcess::WriteInput(std::string_view bytes) {
  std::lock_guard lock(inputMutex_);
  if (!input_ || bytes.empty()) return bytes.empty();
  return inputPort_.Write(bytes).outcome == WriteOutcome::kDone;
}

void ChildProcess::CloseInput() {
  std::lock_guard lock(inputMutex_);
  input_.reset();
}

void ChildProcess::CloseOutput() {
  outputPort_.reset();
  output_.reset();
}

std::size_t ChildProcess::ReadOutput(std::span<char> buffer) {
  return outputPort_ ? ReadSome(*outputPort_, buffer) : 0;
}

std::size_t ChildProcess::ReadError(std::span<char> buffer) { return ReadSome(errorPort_, buffer); }

void ChildProcess::CancelPendingIo() {
  inputPort_.Cancel();
  if (outputPort_) outputPort_->Cancel();
  errorPort_.Cancel();
}

std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::vector<std::string>& arguments) {
  return std::make_unique<ChildProcess>(program, arguments);
}

}  // namespace snh::client
