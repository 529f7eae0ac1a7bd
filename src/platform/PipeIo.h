#pragma once

// The outcomes of reads and writes on pipes (and ptys on POSIX), and whole writes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/UniqueHandle.h"

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

// One read of what `pipe` holds (on POSIX EINTR is retried, and a non-blocking fd with nothing to read
// gives kData of size 0). On a pty master EIO, no process holding the terminal any more, is kEnded.
ReadResult ReadOnce(NativeHandle pipe, std::span<char> buffer);

// Whether a failed write's code means that nobody reads the other end any more.
bool IsClosedReader(std::uint32_t error);

// Writes all of `bytes` to a pipe (on Windows a zero-length write too); stops at the first failure. On
// POSIX a non-blocking pipe that is full is waited on.
WriteResult WriteWhole(NativeHandle pipe, std::string_view bytes);

}  // namespace snh
