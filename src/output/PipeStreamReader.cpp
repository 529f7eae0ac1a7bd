#include "output/PipeStreamReader.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "output/WorkerFailure.h"
#include "platform/OsError.h"

namespace snh {

PipeStreamReader::PipeStreamReader(NativeHandle pipe, OutputHandler handler, JsonModule& json,
                                   Settings settings)
    : port_(pipe),
      handler_(std::move(handler)),
      json_(json),
      settings_(std::move(settings)),
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
  if (settings_.onFinished) settings_.onFinished();
}

void PipeStreamReader::ReadChunks() {
  std::vector<char> buffer(std::max<std::size_t>(settings_.chunkSize, 1));
  // The default size reads exactly as it always has: one read, one chunk.
  const bool gather = buffer.size() > kChunkSize;
  while (running_.load()) {
    if (settings_.gate) {
      settings_.gate->WaitWhilePaused(running_);
      if (!running_.load()) return;
    }
    ReadResult result = port_.Read(buffer);
    if (result.outcome == ReadOutcome::kCancelled) {
      DebugOutput("ReadFile stopped by ERROR_OPERATION_ABORTED");
      return;
    }
    if (result.outcome == ReadOutcome::kEnded) return;
    if (result.outcome == ReadOutcome::kFailed) RaiseSystemError("ReadFile", result.error);
    if (result.size == 0) continue;
    // More that is already waiting joins the chunk; the end or a failure shows at the next read.
    while (gather && result.size < buffer.size()) {
      const std::size_t more = port_.ReadWaiting(std::span(buffer).subspan(result.size));
      if (more == 0) break;
      result.size += more;
    }
    handler_(std::string(buffer.data(), result.size));
  }
}

void PipeStreamReader::Stop() {
  running_.store(false);
  if (settings_.gate) settings_.gate->Wake();
  // Every read from now on ends without waiting, and the loop ends at its next test.
  port_.Cancel();
  if (thread_.joinable()) thread_.join();
}

}  // namespace snh
