#pragma once

// Renders pseudo-console output as plain text: recognised escape sequences are removed,
// everything else is copied byte for byte, and window-title commands (OSC 0 and 2) are extracted. There
// is no screen model. A sequence cut at the end of a chunk is held back and completed by the next chunk.
//
// A byte scanner with exactly the results of the five regular expressions that define the filter (see
// tests/output/RegexTerminalOracle.cpp) and their algorithm, applied to the held-back tail followed by the
// chunk (std::regex would recurse once per byte and overflow the stack on inputs of tens of kilobytes).
// Deliberate differences from those rules:
//  - The held-back sequence belongs to the object (one per pseudo-console connection), not to the
//    process.
//  - An operating-system command whose number does not fit in a signed 32-bit int (ESC ] 99999999999 ; t
//    BEL) is dropped without effect like any other non-title command, instead of raising "stoi argument
//    out of range". Leading zeros are allowed ("00002" is 2).
//  - Bound: a held-back sequence never exceeds kMaxPendingSequence bytes. When an unfinished sequence
//    would have to be held back and its length, from its ESC to the end of the input, is above the bound,
//    its introducer is taken as not recognised: ESC and the next byte are copied to the text and scanning
//    goes on after them (so the rest of it comes out as text). A title command that never ends therefore
//    cannot stall the text or grow memory. A complete sequence is recognised only if a cut before its
//    final byte would not have passed the bound (its length minus one is within it); a longer one is
//    not recognised in the same way, so that how the reads are cut never decides.
//  - Cost: linear. The scan of a held-back sequence resumes where it stopped, so a chunk costs O(chunk)
//    plus the held-back bytes it releases as text, however the input is cut.
//  - A command whose text is followed by an ESC that ends the input is held back whole (the rules took
//    it as text and held back only the ESC), so a read that ends between the ESC and the `\` of the
//    terminator does not lose the title. With this, any cut of the input gives the same text in total,
//    the same last title and the same held-back tail as the input in one piece.

#include <cstddef>
#include <cstdint>
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
  // ends cannot stall the text or grow memory; so is that of a complete sequence longer than this
  // and its final byte.
  static constexpr std::size_t kMaxPendingSequence = 4096;

  TerminalOutputProcessor() = default;
  // Another bound, for tests; at least 1 (a lone ESC at the end of the input is always held back).
  explicit TerminalOutputProcessor(std::size_t maxPendingSequence);

  // From now on the text is left empty: only the titles are wanted, and building the text is most of
  // the work.
  void LeaveOutText() { keepText_ = false; }

  // Processes the next chunk, preceded by whatever the previous chunk held back.
  ProcessedOutput Process(std::string_view chunk);

  // The held-back tail: empty, or starting with ESC; never longer than the bound.
  const std::string& pendingSequence() const { return pendingSequence_; }

 private:
  // How far the scan of one sequence, from its ESC, has got. Each stage consumes a run of bytes of one
  // class, so the scan of a held-back sequence resumes at the chunk without looking at it again.
  enum class Stage : std::uint8_t {
    kEscape,            // ESC, nothing after it yet
    kCsiParameters,     // ESC [ and bytes 30-3F
    kCsiIntermediates,  // ESC [, bytes 30-3F, then bytes 20-2F
    kOscStart,          // ESC ], no digit yet
    kOscNumber,         // ESC ] and digits
    kOscText,           // ESC ] digits ; and bytes other than 07 and 1B
    kOscTerminator,     // the same, then ESC: `\` would end the command
  };
  struct SequenceScan {
    Stage stage = Stage::kEscape;
    // The command number, saturated just above INT32_MAX (such a number has no effect).
    std::uint32_t oscNumber = 0;
    // From the ESC to the first byte of the command's text.
    std::size_t oscTextOffset = 0;
  };
  enum class Outcome : std::uint8_t {
    kIncomplete,     // the input ends inside the sequence
    kComplete,       // dropped; `next` is just after it
    kNotRecognised,  // the bytes before `next` are text; scanning resumes at `next`
  };
  struct Step {
    Outcome outcome;
    std::size_t next;
    std::size_t oscTextEnd;  // for a complete command
  };

  static Step Advance(SequenceScan& scan, std::string_view input, std::size_t start, std::size_t pos);
  std::size_t Scan(std::string_view input, std::size_t pos, bool resuming, ProcessedOutput& out);
  void Keep(ProcessedOutput& out, std::string_view text) const {
    if (keepText_) out.processedContent.append(text);
  }

  std::size_t maxPendingSequence_ = kMaxPendingSequence;
  bool keepText_ = true;
  std::string pendingSequence_;
  SequenceScan pendingScan_;  // the scan of pendingSequence_, when it is not empty
};

}  // namespace snh
