#include "output/PipeStreamReader.h"

#include <array>
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

void PipeStreamReader::Stop() {
  running_.store(false);
  // Every read from now on ends without waiting, and the loop ends at its next test.
  port_.Cancel();
  if (thread_.joinable()) thread_.join();
}

}  // namespace snh
