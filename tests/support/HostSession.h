#pragma once

// One running host, driven as a browser drives it: requests go in as frames on its standard input,
// and a reader thread decodes its standard output into a queue of messages that tests wait on.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "client/ChildProcess.h"
#include "client/FrameCodec.h"

namespace snh::conformance {

// The browser side of the protocol is shared with the terminal client.
using client::ChildProcess;
using client::DecodedFrame;
using client::EncodeFrame;
using client::EncodeLength;
using client::FrameDecoder;
using client::StartChildProcess;

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Raised when the host does not do what a test waits for; the text says what arrived instead.
class HarnessFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ReceivedMessage {
  std::size_t sequence = 0;  // arrival order, from 0
  Clock::time_point arrival;
  std::uint32_t frameLength = 0;
  nlohmann::json body;

  std::string Type() const { return body.at("type").get<std::string>(); }
};

using MessagePredicate = std::function<bool(const nlohmann::json&)>;

class HostSession {
 public:
  HostSession(const std::string& hostProgram, const std::vector<std::string>& hostArguments);
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;
  ~HostSession();

  // Ends the host as a browser does: closes its input, waits briefly, then kills it. Idempotent.
  void Close();

  void Send(const nlohmann::json& request);
  // Bytes exactly as given, for framing tests. Writes happen on a writer thread, so a host that stops
  // reading can never block the test itself.
  void SendRaw(std::string bytes);
  void CloseStdin();

  // Messages for which `consumer` returns true are handed to it on the reader thread and not kept
  // (for streams too long to keep). Set it before the messages it is for can arrive.
  void SetConsumer(MessagePredicate consumer);
  unsigned long ProcessId() const { return process_->ProcessId(); }

  // The first message not taken yet that satisfies `predicate`; it is taken, earlier ones stay.
  ReceivedMessage WaitFor(const MessagePredicate& predicate, Milliseconds timeout, std::string_view what);
  // The first message not taken yet, whatever it is.
  ReceivedMessage Next(Milliseconds timeout);
  // Waits the whole duration, then takes every message not taken yet.
  std::vector<ReceivedMessage> CollectFor(Milliseconds duration);
  // Every message received so far, taken or not.
  std::vector<ReceivedMessage> AllReceived() const;

  std::optional<int> WaitForExit(Milliseconds timeout);
  // True once the host's output has ended (all its writers are gone) within the timeout.
  bool WaitForEndOfOutput(Milliseconds timeout);

  // Everything that was wrong with the host's output: stray bytes, bad frames, bad JSON.
  std::vector<std::string> ProtocolFailures() const;
  // What the host wrote to its standard error so far (its first 256 KiB); complete once Close() returns.
  std::string StandardError() const;
  // The lines of the standard error that open a sanitizer's report (AddressSanitizer, LeakSanitizer,
  // ThreadSanitizer, UndefinedBehaviorSanitizer); a host built with one must leave this empty.
  std::vector<std::string> SanitizerReports() const;
  std::string DescribeReceived() const;

 private:
  struct Slot {
    ReceivedMessage message;
    bool taken = false;
  };

  void ReadOutput();
  void ReadErrors();
  void WriteInput();
  std::optional<ReceivedMessage> TakeFirstMatch(const MessagePredicate& predicate);

  std::unique_ptr<ChildProcess> process_;
  const Clock::time_point started_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> received_;
  MessagePredicate consumer_;
  std::vector<std::string> failures_;
  std::string hostStderr_;
  bool outputEnded_ = false;
  bool stopping_ = false;
  bool closed_ = false;  // only touched by the owner's thread
  int threadsRunning_ = 3;

  std::deque<std::optional<std::string>> pendingWrites_;  // nullopt closes the input
  std::condition_variable writeQueued_;

  // Last, so that everything they use exists before they start.
  std::thread outputReader_;
  std::thread errorReader_;
  std::thread inputWriter_;
};

}  // namespace snh::conformance
