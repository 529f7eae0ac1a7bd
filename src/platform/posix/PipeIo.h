#pragma once

// Blocking reads that another thread can cancel, and whole writes, on pipes and ptys.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "UniqueHandle.h"

namespace snh {

enum class ReadOutcome { kData, kCancelled, kFailed };

struct ReadResult {
  ReadOutcome outcome;
  std::size_t size = 0;     // bytes read, for kData (may be 0)
  std::uint32_t error = 0;  // errno, for kFailed
};

// A flag another thread can wait for with poll(): once raised it stays raised.
class WakeSignal {
 public:
  WakeSignal();
  void Raise();
  // Readable once raised.
  NativeHandle fd() const { return read_.get(); }

 private:
  UniqueHandle read_, write_;
};

// The reading side of one fd as one reader thread sees it. Does not own the fd. A cancel is sticky:
// every read after it ends at once, so no read can slip in after a stop.
class PipeReadPort {
 public:
  explicit PipeReadPort(NativeHandle fd);

  ReadResult Read(std::span<char> buffer);
  std::uint32_t Cancel();

  static constexpr const char* kCancelLabel = "CancelIoEx";
  static constexpr std::uint32_t kNothingToCancel = 0;

 private:
  NativeHandle fd_;
  WakeSignal cancelled_;
};

std::uint32_t WritePipe(NativeHandle fd, std::string_view bytes, const char* label, bool forgiveClosedReader);

}  // namespace snh
