#include "HostSession.h"

#include <algorithm>
#include <array>

namespace snh::conformance {
namespace {

constexpr Milliseconds kGraceForExit{3000};
constexpr std::size_t kStderrKept = 256 * 1024;
constexpr std::size_t kShownPerMessage = 300;

std::string Abbreviated(const nlohmann::json& body) {
  std::string text = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.size() > kShownPerMessage) {
    text.resize(kShownPerMessage);
    text += "...";
  }
  return text;
}

}  // namespace

HostSession::HostSession(const std::string& hostProgram, const std::vector<std::string>& hostArguments)
    : process_(StartChildProcess(hostProgram, hostArguments)),
      started_(Clock::now()),
      outputReader_([this] { ReadOutput(); }),
      errorReader_([this] { ReadErrors(); }),
      inputWriter_([this] { WriteInput(); }) {}

HostSession::~HostSession() { Close(); }

void HostSession::Close() {
  if (closed_) return;
  closed_ = true;
  CloseStdin();
  if (!process_->WaitForExit(kGraceForExit)) process_->Kill();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  writeQueued_.notify_all();
  // Clients that inherited the host's pipes can keep them open after the host has gone; cancelling
  // until every thread has noticed covers a thread that was between two calls.
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (threadsRunning_ == 0) break;
    }
    process_->CancelPendingIo();
    std::this_thread::sleep_for(Milliseconds(10));
  }
  outputReader_.join();
  errorReader_.join();
  inputWriter_.join();
}

void HostSession::Send(const nlohmann::json& request) { SendRaw(EncodeFrame(request.dump())); }

void HostSession::SendRaw(std::string bytes) {
  {
    std::lock_guard lock(mutex_);
    pendingWrites_.emplace_back(std::move(bytes));
  }
  writeQueued_.notify_all();
}

void HostSession::CloseStdin() {
  {
    std::lock_guard lock(mutex_);
    pendingWrites_.emplace_back(std::nullopt);
  }
  writeQueued_.notify_all();
}

ReceivedMessage HostSession::WaitFor(const MessagePredicate& predicate, Milliseconds timeout,
                                     std::string_view what) {
  const auto deadline = Clock::now() + timeout;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (auto match = TakeFirstMatch(predicate)) return *match;
    std::string reason;
    if (!failures_.empty()) {
      reason = "the host's output broke the framing";
    } else if (outputEnded_) {
      reason = "the host's output ended";
    } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (auto match = TakeFirstMatch(predicate)) return *match;
      reason = "timed out after " + std::to_string(timeout.count()) + " ms";
    }
    if (!reason.empty()) {
      lock.unlock();
      throw HarnessFailure("Waiting for " + std::string(what) + ": " + reason + ".\n" + DescribeReceived());
    }
  }
}

ReceivedMessage HostSession::Next(Milliseconds timeout) {
  return WaitFor([](const nlohmann::json&) { return true; }, timeout, "any message");
}

std::vector<ReceivedMessage> HostSession::CollectFor(Milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, deadline, [&] { return !failures_.empty() || Clock::now() >= deadline; });
  std::vector<ReceivedMessage> collected;
  for (Slot& slot : received_) {
    if (!slot.taken) {
      slot.taken = true;
      collected.push_back(slot.message);
    }
  }
  return collected;
}

std::vector<ReceivedMessage> HostSession::AllReceived() const {
  std::lock_guard lock(mutex_);
  std::vector<ReceivedMessage> all;
  for (const Slot& slot : received_) all.push_back(slot.message);
  return all;
}

std::optional<int> HostSession::WaitForExit(Milliseconds timeout) { return process_->WaitForExit(timeout); }

bool HostSession::WaitForEndOfOutput(Milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return outputEnded_; });
}

std::vector<std::string> HostSession::ProtocolFailures() const {
  std::lock_guard lock(mutex_);
  return failures_;
}

std::string HostSession::StandardError() const {
  std::lock_guard lock(mutex_);
  return hostStderr_;
}

std::vector<std::string> HostSession::SanitizerReports() const {
  const std::string text = StandardError();
  std::vector<std::string> reports;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    // "==12==ERROR: AddressSanitizer: ...", "WARNING: ThreadSanitizer: ...", "x.cpp:3:5: runtime error: ..."
    const bool sanitizerHeading =
        line.find("Sanitizer") != std::string_view::npos &&
        (line.find("ERROR: ") != std::string_view::npos || line.find("WARNING: ") != std::string_view::npos);
    if (sanitizerHeading || line.find(": runtime error: ") != std::string_view::npos) {
      reports.emplace_back(line);
    }
    start = end + 1;
  }
  return reports;
}

std::string HostSession::DescribeReceived() const {
  std::lock_guard lock(mutex_);
  std::string text = "Messages from the host (" + std::to_string(received_.size()) + "):\n";
  for (const Slot& slot : received_) {
    const auto at = std::chrono::duration_cast<Milliseconds>(slot.message.arrival - started_).count();
    text += "  #" + std::to_string(slot.message.sequence) + " at " + std::to_string(at) + " ms" +
            (slot.taken ? " (taken) " : " ") + Abbreviated(slot.message.body) + "\n";
  }
  for (const std::string& failure : failures_) text += "Protocol failure: " + failure + "\n";
  if (outputEnded_) text += "The host's output has ended.\n";
  if (!hostStderr_.empty()) text += "The host's standard error:\n" + hostStderr_ + "\n";
  return text;
}

std::optional<ReceivedMessage> HostSession::TakeFirstMatch(const MessagePredicate& predicate) {
  for (Slot& slot : received_) {
    if (!slot.taken && predicate(slot.message.body)) {
      slot.taken = true;
      return slot.message;
    }
  }
  return std::nullopt;
}

void HostSession::SetConsumer(MessagePredicate consumer) {
  std::lock_guard lock(mutex_);
  consumer_ = std::move(consumer);
}

void HostSession::ReadOutput() {
  FrameDecoder decoder;
  std::array<char, 64 * 1024> buffer{};
  for (;;) {
    const std::size_t count = process_->ReadOutput(buffer);
    std::lock_guard lock(mutex_);
    if (count == 0) {
      if (!stopping_) decoder.Finish();
    } else {
      decoder.Feed(std::string_view(buffer.data(), count));
    }
    const auto now = Clock::now();
    while (auto frame = decoder.Next()) {
      if (consumer_ && consumer_(frame->message)) continue;
      received_.push_back(
          Slot{ReceivedMessage{received_.size(), now, frame->length, std::move(frame->message)}});
    }
    if (decoder.Failure() && failures_.empty()) failures_.push_back(*decoder.Failure());
    if (count == 0) {
      outputEnded_ = true;
      --threadsRunning_;
      changed_.notify_all();
      return;
    }
    changed_.notify_all();
  }
}

void HostSession::ReadErrors() {
  std::array<char, 4096> buffer{};
  for (;;) {
    const std::size_t count = process_->ReadError(buffer);
    std::lock_guard lock(mutex_);
    if (count == 0) {
      --threadsRunning_;
      return;
    }
    if (hostStderr_.size() < kStderrKept) {
      hostStderr_.append(buffer.data(), std::min(count, kStderrKept - hostStderr_.size()));
    }
  }
}

void HostSession::WriteInput() {
  bool inputOpen = true;
  for (;;) {
    std::optional<std::string> bytes;
    {
      std::unique_lock lock(mutex_);
      writeQueued_.wait(lock, [&] { return stopping_ || !pendingWrites_.empty(); });
      if (pendingWrites_.empty()) {
        --threadsRunning_;
        return;
      }
      bytes = std::move(pendingWrites_.front());
      pendingWrites_.pop_front();
    }
    if (!bytes) {
      process_->CloseInput();
      inputOpen = false;
    } else if (inputOpen && !process_->WriteInput(*bytes)) {
      // The host has stopped reading for good; what is still queued cannot reach it either.
      inputOpen = false;
    }
  }
}

}  // namespace snh::conformance
