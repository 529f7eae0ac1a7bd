#pragma once

// The handlers that turn chunks of the client's output into messages, at most one message per chunk.
// A multi-byte UTF-8 character cut at the end of a chunk is carried to the next chunk of the same
// pipe, so valid UTF-8 output arrives intact instead of as replacement characters; a chunk that is all
// carried sends nothing. NUL bytes are dropped first (a message's text has no NUL), and only they.

#include <cstddef>
#include <string>
#include <string_view>

#include "codec/JsonModule.h"
#include "output/TerminalOutputProcessor.h"

namespace snh {

// Browsers take messages of up to 1 MiB from a host. A message's texts, escaped, stay within the budget;
// the rest is room for the keys, a window title and a held-back sequence released as text (each at most
// 4096 bytes, six-fold once escaped).
inline constexpr std::size_t kMaxMessageBytes = 1024 * 1024;
inline constexpr std::size_t kMessageTextBudget = kMaxMessageBytes - 64 * 1024;

// What a connect asked of its output messages.
struct OutputOptions {
  // The most bytes one read takes, and so one message carries: by default 1024, at most the budget.
  std::size_t readBytes = 1024;
  bool omitProcessedContent = false;
};

// Cuts a chunk into pieces whose escaped JSON stays within a budget (a control byte becomes six bytes),
// never inside a UTF-8 character. A chunk that fits whatever its bytes (every read of the default size)
// is not looked at.
class MessageSplitter {
 public:
  // `copies`: how many times a message carries the text (raw and processed).
  explicit MessageSplitter(std::size_t copies) : budget_(kMessageTextBudget / copies) {}
  bool SurelyFits(std::size_t size) const { return size <= budget_ / kLargestEscape; }
  // Calls `send` with each piece, in order.
  template <typename Send>
  void ForEachPiece(std::string_view text, Send&& send) const {
    while (!text.empty()) {
      const std::size_t size = FittingPrefix(text);
      send(text.substr(0, size));
      text.remove_prefix(size);
    }
  }

 private:
  static constexpr std::size_t kLargestEscape = 6;
  std::size_t FittingPrefix(std::string_view text) const;
  std::size_t budget_;
};

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
  StreamOutputHandler(JsonModule& json, const char* type) : json_(&json), type_(type), splitter_(1) {}
  void operator()(std::string chunk);

 private:
  JsonModule* json_;
  const char* type_;
  MessageSplitter splitter_;
  Utf8Carry carry_;
};

// "pseudo_console_output": the raw chunk, its plain-text rendering (unless left out) and the window
// title it sets.
class PseudoConsoleOutputHandler {
 public:
  explicit PseudoConsoleOutputHandler(JsonModule& json, OutputOptions options = {});
  void operator()(std::string chunk);

 private:
  void Send(std::string raw);

  JsonModule* json_;
  bool omitProcessedContent_;
  MessageSplitter splitter_;
  Utf8Carry carry_;
  TerminalOutputProcessor processor_;
};

}  // namespace snh
