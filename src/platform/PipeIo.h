#pragma once

// Blocking reads that another thread can cancel, and whole writes, on pipes (and ptys on POSIX).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "UniqueHandle.h"

namespace snh {

// kEnded: every writer has gone, so nothing more can come.
enum class ReadOutcome { kData, kEnded, kCancelled, kFailed };

enum class WriteOutcome { kDone, kCancelled, kFailed };

struct WriteResult {
  WriteOutcome outcome;
  std::uint32_t error = 0;  // the system's code, for kFailed
};

struct ReadResult {
  ReadOutcome outcome;
  std::size_t size = 0;     // bytes read, for kData (may be 0)
  std::uint32_t error = 0;  // the system's code, for kFailed
};

// Writes all of `bytes` (a zero-length write included). Raises with `label` on failure. When
// `forgiveClosedReader` is set, a failure because the reading end is gone is returned as its code
// instead of raised; otherwise the result is 0.
std::uint32_t WritePipe(NativeHandle pipe, std::string_view bytes, const char* label,
                        bool forgiveClosedReader);

}  // namespace snh

// PipeReadPort: the reading side of one pipe as one reader thread sees it.
#include "PipeReadPort.h"
// PipeWritePort: the writing side of one pipe as one writer thread sees it.
#include "PipeWritePort.h"
