#pragma once

// The host's own standard input and output: byte streams to and from the browser.

#include "UniqueHandle.h"
#include "codec/OutputSink.h"
#include "host/FrameReader.h"

namespace snh {

// A closed output pipe must not kill the host, and clients must never get the browser's pipes.
void PrepareStandardStreams();

class StandardInput final : public ByteSource {
 public:
  std::size_t Read(char* buffer, std::size_t capacity) override;
};

class StandardOutput final : public OutputSink {
 public:
  bool Write(std::string_view bytes) override;

 private:
  bool failed_ = false;  // guarded by the output lock of the caller
};

}  // namespace snh
