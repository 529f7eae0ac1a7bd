#pragma once

// The host's own standard input and output: untranslated byte streams to and from the browser.

#include "UniqueHandle.h"
#include "codec/OutputSink.h"
#include "host/FrameReader.h"

namespace snh {

// Puts the standard streams in binary mode and keeps them from being inherited by clients: a
// client that held the browser's pipes would keep them open after the host ends.
void PrepareStandardStreams();

class StandardInput final : public ByteSource {
 public:
  std::size_t Read(char* buffer, std::size_t capacity) override;
};

class StandardOutput final : public OutputSink {
 public:
  // One WriteFile per message where the pipe takes it whole; no user-space buffering to flush.
  bool Write(std::string_view bytes) override;

 private:
  bool failed_ = false;  // guarded by the output lock of the caller
};

}  // namespace snh
