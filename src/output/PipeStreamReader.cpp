#include "output/PipeStreamReader.h"

#include <array>
#include <chrono>
#include <iostream>
#include <utility>

#include "output/WorkerFailure.h"
#include "platform/OsError.h"

namespace snh {

PipeStreamReader::PipeStreamReader(NativeHandle pipe, OutputHandler handler, JsonModule& json,
                                   std::function<void()> onFinished)
    : port_(pipe),
      handler_(std::move(handler)),
      json_(json),
      onFinished_(std::move(onFinished)),
      thread_(&PipeStreamReader::ReadLoop, this) {}

PipeStreamReader::~PipeStreamReader() {
  if (thread_.joinable()) Stop();
}

void PipeStreamReader::ReadLoop() {
  try {
    ReadChunks();
  } catch (const std::exception& error) {
    ReportWorkerFailure(json_, error.what());
  } catch (...) {
    DebugOutput("PipeStreamReader stopped by an unknown exception");
  }
  if (onFinished_) onFinished_();
  MarkFinished();
}

void PipeStreamReader::ReadChunks() {
  std::array<char, kChunkSize> buffer{};
  while (running_.load()) {
    const ReadResult result = port_.Read(buffer);
    if (result.outcome == ReadOutcome::kCancelled) {
      DebugOutput("ReadFile stopped by ERROR_OPERATION_ABORTED");
      return;
    }
    if (result.outcome == ReadOutcome::kEnded) return;
    if (result.outcome == ReadOutcome::kFailed) RaiseSystemError("ReadFile", result.error);
    if (result.size == 0) continue;
    handler_(std::string(buffer.data(), result.size));
  }
}

void PipeStreamReader::MarkFinished() {
  std::lock_guard lock(finishedMutex_);
  finished_ = true;
  finishedChanged_.notify_all();
}

void PipeStreamReader::Stop() {
  running_.store(false);
  if (const std::uint32_t error = port_.Cancel(); error != 0) {
    try {
      std::cerr << SystemErrorMessage(PipeReadPort::kCancelLabel, error) << std::endl;
    } catch (const std::exception&) {
      // A diagnostic that cannot be written must not keep the reader from stopping.
    }
  }
  std::unique_lock lock(finishedMutex_);
  while (!finishedChanged_.wait_for(lock, std::chrono::milliseconds(10), [this] { return finished_; })) {
    // The thread may have been between its run-flag test and its next read.
    port_.Cancel();
  }
  lock.unlock();
  if (thread_.joinable()) thread_.join();
}

}  // namespace snh
