#include "output/TerminalOutputProcessor.h"

#include <algorithm>
#include <utility>

// The filter's patterns, and why a left-to-right scan gives their results. Their character classes are
// disjoint where they meet (parameters 30-3F, intermediates 20-2F, finals 40-7E; digits, `;`, text
// bytes, 07 and 1B), so no match ever depends on backtracking: each pattern is one greedy pass, and the
// prefix patterns 3 and 5 hold exactly when that pass reaches the end of the input. Bytes that the
// scan of an unrecognised sequence passed over are parameters, intermediates, digits, `;` or text, never
// ESC (a command's ESC that is not followed by `\` is scanned again as the start of the next sequence);
// copying them to the text at once is what "resume after the introducer" comes to.

namespace snh {
namespace {

constexpr char kEsc = '\x1b';
constexpr unsigned char kBel = 0x07;
// Command numbers saturate here, one above INT32_MAX: the numbers std::stoi rejects as out of range.
constexpr std::uint64_t kNumberOverflow = 0x8000'0000;

constexpr bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

// Pattern 1, "^[@-Z\\^_0-9]$": the byte after ESC of a two-byte escape.
constexpr bool IsTwoByteEscapeFinal(unsigned char byte) {
  return InRange(byte, 0x30, 0x39) || InRange(byte, 0x40, 0x5A) || byte == 0x5C || byte == 0x5E ||
         byte == 0x5F;
}
constexpr bool IsCsiParameter(unsigned char byte) { return InRange(byte, 0x30, 0x3F); }
constexpr bool IsCsiIntermediate(unsigned char byte) { return InRange(byte, 0x20, 0x2F); }
constexpr bool IsCsiFinal(unsigned char byte) { return InRange(byte, 0x40, 0x7E); }
constexpr bool IsDigit(unsigned char byte) { return InRange(byte, '0', '9'); }

}  // namespace

TerminalOutputProcessor::TerminalOutputProcessor(std::size_t maxPendingSequence)
    : maxPendingSequence_(std::max<std::size_t>(maxPendingSequence, 1)) {}

ProcessedOutput TerminalOutputProcessor::Process(std::string_view chunk) {
  ProcessedOutput out;
  if (pendingSequence_.empty()) {
    if (keepText_) out.processedContent.reserve(chunk.size());
    const std::size_t tail = Scan(chunk, 0, /*resuming=*/false, out);
    if (tail != std::string_view::npos) pendingSequence_.assign(chunk.substr(tail));
    return out;
  }
  // The held-back sequence continues into the chunk: its scan picks up at the chunk's first byte.
  std::string input = std::move(pendingSequence_);
  pendingSequence_.clear();
  const std::size_t resumeAt = input.size();
  input.append(chunk);
  const std::size_t tail = Scan(input, resumeAt, /*resuming=*/true, out);
  if (tail == 0) {
    pendingSequence_ = std::move(input);  // still unfinished: no copy
  } else if (tail != std::string_view::npos) {
    pendingSequence_.assign(input, tail);
  }
  return out;
}

// Appends the text and title of input[pos..] to `out`. When resuming, input[0..pos) is the held-back
// sequence and pendingScan_ its scan. Returns where the new held-back tail starts, or npos.
std::size_t TerminalOutputProcessor::Scan(std::string_view input, std::size_t pos, bool resuming,
                                          ProcessedOutput& out) {
  SequenceScan scan = resuming ? pendingScan_ : SequenceScan{};
  std::size_t start = 0;  // the ESC of the sequence being scanned
  bool inSequence = resuming;
  for (;;) {
    if (!inSequence) {
      const std::size_t esc = input.find(kEsc, pos);
      if (esc == std::string_view::npos) {
        Keep(out, input.substr(pos));
        return std::string_view::npos;
      }
      Keep(out, input.substr(pos, esc - pos));
      start = esc;
      pos = esc + 1;
      scan = {};
    }
    inSequence = false;

    const Step step = Advance(scan, input, start, pos);
    switch (step.outcome) {
      case Outcome::kComplete:
        // Some cut would have held back all of it but its final byte: past the bound it is not
        // recognised, as the held-back sequence would not have been, whatever the cuts.
        if (step.next - 1 - start > maxPendingSequence_) {
          Keep(out, input.substr(start, 2));
          pos = start + 2;
          break;
        }
        if ((scan.stage == Stage::kOscText || scan.stage == Stage::kOscTerminator) &&
            (scan.oscNumber == 0 || scan.oscNumber == 2)) {
          const std::size_t textStart = start + scan.oscTextOffset;
          out.windowTitle = std::string(input.substr(textStart, step.oscTextEnd - textStart));
        }
        pos = step.next;
        break;
      case Outcome::kNotRecognised:
        Keep(out, input.substr(start, step.next - start));
        pos = step.next;
        break;
      case Outcome::kIncomplete:
        if (input.size() - start > maxPendingSequence_) {
          // Over the bound: the introducer is not recognised, and the rest is text, but for the ESC
          // that ends a command's text, which may still start a sequence and is held alone.
          if (scan.stage == Stage::kOscTerminator) {
            Keep(out, input.substr(start, input.size() - 1 - start));
            pendingScan_ = {};
            return input.size() - 1;
          }
          Keep(out, input.substr(start));
          return std::string_view::npos;
        }
        pendingScan_ = scan;
        return start;
    }
  }
}

// Continues the scan of the sequence whose ESC is at `start` from `pos`, the first byte not yet looked
// at. Returns kIncomplete with `scan` updated when the input ends first.
TerminalOutputProcessor::Step TerminalOutputProcessor::Advance(SequenceScan& scan, std::string_view input,
                                                               std::size_t start, std::size_t pos) {
  const std::size_t end = input.size();
  const auto byte = [&input](std::size_t at) { return static_cast<unsigned char>(input[at]); };
  constexpr Step kIncomplete{Outcome::kIncomplete, 0, 0};
  for (;;) {
    switch (scan.stage) {
      case Stage::kEscape:
        if (pos == end) return kIncomplete;
        if (IsTwoByteEscapeFinal(byte(pos))) return {Outcome::kComplete, pos + 1, 0};
        if (byte(pos) == '[') {
          scan.stage = Stage::kCsiParameters;
        } else if (byte(pos) == ']') {
          scan.stage = Stage::kOscStart;
        } else {
          return {Outcome::kNotRecognised, pos + 1, 0};  // ESC and the byte, ESC included, are text
        }
        ++pos;
        break;

      case Stage::kCsiParameters:
        while (pos < end && IsCsiParameter(byte(pos))) ++pos;
        if (pos == end) return kIncomplete;
        scan.stage = Stage::kCsiIntermediates;
        break;

      case Stage::kCsiIntermediates:
        while (pos < end && IsCsiIntermediate(byte(pos))) ++pos;
        if (pos == end) return kIncomplete;
        if (IsCsiFinal(byte(pos))) return {Outcome::kComplete, pos + 1, 0};
        return {Outcome::kNotRecognised, pos, 0};

      case Stage::kOscStart:
        if (pos == end) return kIncomplete;
        if (!IsDigit(byte(pos))) return {Outcome::kNotRecognised, pos, 0};
        scan.stage = Stage::kOscNumber;
        break;

      case Stage::kOscNumber:
        for (; pos < end && IsDigit(byte(pos)); ++pos) {
          const std::uint64_t number = std::uint64_t{scan.oscNumber} * 10 + (byte(pos) - '0');
          scan.oscNumber = static_cast<std::uint32_t>(std::min(number, kNumberOverflow));
        }
        if (pos == end) return kIncomplete;
        if (byte(pos) != ';') return {Outcome::kNotRecognised, pos, 0};
        ++pos;
        scan.stage = Stage::kOscText;
        scan.oscTextOffset = pos - start;
        break;

      case Stage::kOscText:
        while (pos < end && byte(pos) != kBel && byte(pos) != static_cast<unsigned char>(kEsc)) ++pos;
        if (pos == end) return kIncomplete;
        if (byte(pos) == kBel) return {Outcome::kComplete, pos + 1, pos};
        scan.stage = Stage::kOscTerminator;
        ++pos;
        break;

      case Stage::kOscTerminator:
        // The text ended at the ESC just before `pos`. Held back when the input ends here, so that a read
        // ending between ESC and `\` does not lose the title.
        if (pos == end) return kIncomplete;
        if (byte(pos) == '\\') return {Outcome::kComplete, pos + 1, pos - 1};
        // An ESC not followed by `\`: the command is text, and the ESC starts whatever comes next.
        return {Outcome::kNotRecognised, pos - 1, 0};
    }
  }
}

}  // namespace snh
