#pragma once

// Writes the extension's input to the client on a thread of its own, in the order it came. A client
// that stops reading its input then holds up only that input, not the request loop: a "disconnect" or
// a "getVersion" behind it is still answered.
//
// The queue is bounded: once it holds kQueueLimit bytes, a text is refused rather than waited for, so
// that a client that never reads cannot hold up the request loop. A write failure ends the writer: a
// reader that has gone drops the input quietly; any other failure is reported as an "error" message,
// and every later text is refused with that failure's text.
//
// Close ends the input after what is queued: the writer closes the pipe it owns once the queue is
// empty, and every later text is refused.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "codec/JsonModule.h"
#include "platform/PipeWritePort.h"

namespace snh {

class InputWriter {
 public:
  static constexpr std::size_t kQueueLimit = 8u << 20;
  static constexpr const char* kQueueFullText = "Input queue full";

  // `label` names the write in a failure message ("WriteFile child stdin"). A target passed as a
  // NativeHandle stays the caller's and must outlive the writer; one passed as a UniqueHandle is the
  // writer's, closed by Close() (on the writer's thread) or with the writer.
  InputWriter(NativeHandle target, const char* label, JsonModule& json);
  InputWriter(UniqueHandle target, const char* label, JsonModule& json);
  ~InputWriter();
  InputWriter(const InputWriter&) = delete;
  InputWriter& operator=(const InputWriter&) = delete;

  // Queues the text, or returns why it was refused: the queue is full, or an earlier write failed.
  // Input that nobody reads any more (abandoned, or the reader has gone) is dropped, and not refused.
  std::optional<std::string> Write(std::string text);
  // Drops what is queued and cancels the write in progress; later input is dropped. Any thread.
  void Abandon();
  // Closes the target once everything queued has been written; a target the writer does not own is
  // left open.
  void Close();

 private:
  InputWriter(UniqueHandle owned, NativeHandle borrowed, const char* label, JsonModule& json);
  void Run();
  void WriteQueued();
  // Bytes a queued text counts for: its own, and a share for the queue entry so that many tiny texts
  // are bounded too.
  static std::size_t Cost(const std::string& text) { return text.size() + 64; }

  UniqueHandle owned_;  // empty once closed; closed by the writer's thread, or with the writer
  PipeWritePort port_;
  const char* label_;
  JsonModule& json_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;       // guarded by mutex_
  std::size_t queuedBytes_ = 0;         // guarded by mutex_
  bool abandoned_ = false;              // guarded by mutex_
  bool closing_ = false;                // guarded by mutex_: closes when the queue is empty
  bool finished_ = false;               // guarded by mutex_
  std::optional<std::string> failure_;  // guarded by mutex_
  std::thread thread_;                  // last, so that it starts after everything it uses exists
};

}  // namespace snh
