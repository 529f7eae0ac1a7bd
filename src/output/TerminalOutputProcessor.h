#pragma once

// Renders pseudo-console output as plain text: recognised escape sequences are removed, everything
// else is copied byte for byte, and window-title commands (OSC 0 and 2) are extracted. There is no
// screen model. A sequence cut at the end of a chunk is held back and completed by the next chunk.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace snh {

struct ProcessedOutput {
  std::string processedContent;
  // The last title completed by this chunk; present (possibly empty) only if one was completed.
  std::optional<std::string> windowTitle;
  friend bool operator==(const ProcessedOutput&, const ProcessedOutput&) = default;
};

// One per pseudo-console connection; used by one thread at a time.
class TerminalOutputProcessor {
 public:
  // An unfinished sequence is held back up to this many bytes (VTE's cap on OSC strings). Past it,
  // its introducer is taken as not recognised and copied to the text, so a title command that never
  // ends cannot stall the text or grow memory.
  static constexpr std::size_t kMaxPendingSequence = 4096;

  // Processes the next chunk, preceded by whatever the previous chunk held back.
  ProcessedOutput Process(std::string_view chunk);

  // The held-back tail: empty, or starting with ESC.
  const std::string& pendingSequence() const { return pendingSequence_; }

  void Reset() { pendingSequence_.clear(); }

 private:
  std::string pendingSequence_;
};

}  // namespace snh
