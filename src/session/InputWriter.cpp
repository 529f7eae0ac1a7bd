#include "session/InputWriter.h"

#include "output/WorkerFailure.h"
#include "platform/OsError.h"

namespace snh {

InputWriter::InputWriter(NativeHandle target, const char* label, JsonModule& json)
    : InputWriter(UniqueHandle(), target, label, json) {}

InputWriter::InputWriter(UniqueHandle target, const char* label, JsonModule& json)
    : InputWriter(std::move(target), kNoHandle, label, json) {}

InputWriter::InputWriter(UniqueHandle owned, NativeHandle borrowed, const char* label, JsonModule& json)
    : owned_(std::move(owned)),
      port_(owned_ ? owned_.get() : borrowed),
      label_(label),
      json_(json),
      thread_(&InputWriter::Run, this) {}

InputWriter::~InputWriter() {
  Abandon();
  thread_.join();
}

std::optional<std::string> InputWriter::Write(std::string text) {
  std::lock_guard lock(mutex_);
  if (abandoned_) return std::nullopt;
  if (failure_) return failure_;
  if (closing_) return texts::kInputClosed;
  if (finished_) return std::nullopt;
  // Taken while under the limit however long it is: any request the host accepts can reach a client
  // that reads.
  if (queuedBytes_ >= kQueueLimit) return kQueueFullText;
  queuedBytes_ += Cost(text);
  queue_.push_back(std::move(text));
  changed_.notify_all();
  return std::nullopt;
}

void InputWriter::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    queue_.clear();
    queuedBytes_ = 0;
  }
  changed_.notify_all();
  // The port touches the pipe only while a write is under way, never after the writer has closed it.
  port_.Cancel();
}

void InputWriter::Close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
}

void InputWriter::Run() {
  std::optional<std::string> failure;
  try {
    WriteQueued();
  } catch (const std::exception& error) {
    failure = error.what();
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    failure_ = failure;  // before the report, so that no text slips into a queue nobody writes
    queue_.clear();
    queuedBytes_ = 0;
  }
  changed_.notify_all();
  if (failure) ReportWorkerFailure(json_, failure->c_str());
}

void InputWriter::WriteQueued() {
  for (;;) {
    std::string text;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || abandoned_ || closing_; });
      if (abandoned_) return;
      if (queue_.empty()) {
        // Closing: everything queued before it has been written.
        owned_.reset();
        return;
      }
      text = std::move(queue_.front());
      queue_.pop_front();
    }
    const WriteResult result = port_.Write(text);
    {
      std::lock_guard lock(mutex_);
      if (!abandoned_) queuedBytes_ -= Cost(text);
    }
    if (result.outcome == WriteOutcome::kCancelled) return;
    if (result.outcome == WriteOutcome::kFailed) {
      if (IsClosedReader(result.error)) return;
      RaiseSystemError(label_, result.error);
    }
  }
}

}  // namespace snh
