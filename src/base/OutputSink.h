#pragma once

// Where bytes go: framed messages to the process's standard output in the host (a buffer in tests),
// the diagnostic log's lines to its file.

#include <string_view>

namespace snh {

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Writes all bytes and makes them visible to the reader at once. Returns false once the stream has
  // failed; what follows is then lost.
  virtual bool Write(std::string_view bytes) = 0;
};

}  // namespace snh
