#pragma once

// The host's own standard input and output: untranslated byte streams to and from the browser.

#include "base/OutputSink.h"
#include "codec/ByteSource.h"
#include "platform/UniqueHandle.h"

namespace snh {

enum class StandardStream { kInput, kOutput, kError };

// The process's own stream, not owned: GetStdHandle's handle, or fd 0, 1 or 2.
NativeHandle StandardHandle(StandardStream stream);

// Binary mode on Windows; a closed output pipe must not kill the host on POSIX; and in both, clients
// never get the browser's pipes (a client holding them would keep them open after the host ends).
void PrepareStandardStreams();

// Reads to the real end of the input, also where the input is non-blocking.
class StandardInput final : public ByteSource {
 public:
  std::size_t Read(char* buffer, std::size_t capacity) override;
};

// Each message goes out in one write where the pipe takes it whole, and whole in any case (a
// non-blocking pipe is waited on); nothing is buffered, so nothing needs flushing.
class StandardOutput final : public OutputSink {
 public:
  bool Write(std::string_view bytes) override;

 private:
  bool failed_ = false;  // guarded by the output lock of the caller
};

}  // namespace snh
