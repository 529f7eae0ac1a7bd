#pragma once

// The message codec and the one output channel of the host: every message, from whichever thread,
// is serialised and written by WriteMessage under one lock, so frames never interleave.

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "base/OutputSink.h"
#include "codec/ByteSource.h"
#include "codec/Messages.h"

namespace snh {

// Requests nest three levels; deeper texts are refused before they cost much.
inline constexpr int kMaxRequestNestingDepth = 512;

// Decodes one request text, read from `text` as it arrives until `text` ends. The text ends at its first
// NUL (the rest is not read); ill-formed UTF-8 and escaped lone surrogates become U+FFFD. Raises
// DecodeError on any text that breaks the decoding rules or nests deeper than kMaxRequestNestingDepth,
// possibly before the text has been read to its end; nothing of a partly decoded request is returned.
Request DecodeRequest(ByteSource& text);

// Appends the UTF-8 JSON text of one message, "type" first. Strings end at their first NUL; ill-formed
// UTF-8 becomes U+FFFD, so the text is always valid JSON and valid UTF-8.
void AppendResponse(std::string& out, const Response& response);

class JsonModule {
 public:
  explicit JsonModule(OutputSink& output);
  JsonModule(const JsonModule&) = delete;
  JsonModule& operator=(const JsonModule&) = delete;

  // Sends one message as one frame (4-byte little-endian length, then the JSON text) in a single
  // write. Safe from any thread. A failed write is not reported: the message is lost.
  void WriteMessage(const Response& response);

  Request DecodeRequest(ByteSource& text) const { return snh::DecodeRequest(text); }

 private:
  // Enough for the largest output message (under 1 MiB, with its reserve), which an extension that
  // asked for large messages gets one after another: a new buffer for each would cost page faults.
  static constexpr std::size_t kKeptFrameCapacity = 2 * 1024 * 1024;

  std::mutex outputMutex_;
  OutputSink& output_;
  std::string frame_;  // guarded by outputMutex_; reused, so a message costs no allocation
};

}  // namespace snh
