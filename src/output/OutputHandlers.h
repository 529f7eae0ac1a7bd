#pragma once

// The handlers that turn chunks of the client's output into messages, at most one message per chunk.
// A multi-byte UTF-8 character cut at the end of a chunk is carried to the next chunk of the same
// pipe, so valid UTF-8 output arrives intact instead of as replacement characters; a chunk that is all
// carried sends nothing. NUL bytes are dropped first (a message's text has no NUL), and only they.

#include <string>

#include "codec/JsonModule.h"
#include "output/TerminalOutputProcessor.h"

namespace snh {

// Keeps back the incomplete character at the end of a chunk for the next one.
class Utf8Carry {
 public:
  // The carried bytes followed by the chunk, minus a new incomplete tail (at most 3 bytes).
  std::string Take(std::string chunk);

 private:
  std::string carry_;
};

// "stdout" or "stderr": the chunk, without its NULs, as outputLine.
class StreamOutputHandler {
 public:
  StreamOutputHandler(JsonModule& json, const char* type) : json_(&json), type_(type) {}
  void operator()(std::string chunk);

 private:
  JsonModule* json_;
  const char* type_;
  Utf8Carry carry_;
};

// "pseudo_console_output": the raw chunk, its plain-text rendering and the window title it sets.
class PseudoConsoleOutputHandler {
 public:
  explicit PseudoConsoleOutputHandler(JsonModule& json) : json_(&json) {}
  void operator()(std::string chunk);

 private:
  JsonModule* json_;
  Utf8Carry carry_;
  TerminalOutputProcessor processor_;
};

}  // namespace snh
