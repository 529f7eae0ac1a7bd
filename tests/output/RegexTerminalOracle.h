#pragma once

// Test oracle for TerminalOutputProcessor: the filter's rules (ProcessTerminalOutput) transcribed literally,
// with std::regex and the five patterns exactly as written. Only for short inputs (a few hundred
// bytes): libstdc++'s std::regex recurses once per byte.
//
// Departures from the original rules, the same as the processor's (and only these):
//  - The process-wide pendingSequence is a parameter (RegexProcessTerminalOutput) or a member
//    (RegexTerminalOracle).
//  - A command number that std::stoi rejects as out of range drops the command without effect instead
//    of letting the exception out.
//  - A command whose text is followed by an ESC that ends the input is held back whole, like a prefix.
//  - Optionally a bound on the held-back sequence: where the algorithm would hold back the sequence at
//    p and the input from p to its end is longer than the bound, ESC and the next byte are copied to the
//    text and scanning goes on after them; the same where a complete sequence at p, less its last byte,
//    is longer than the bound. Without a bound the original rules apply unchanged.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "output/TerminalOutputProcessor.h"

namespace snh::oracle {

// ProcessTerminalOutput(input); `pendingSequence` is emptied, and set when the input ends inside a sequence.
// `maxPendingSequence`, when present, is at least 1.
ProcessedOutput RegexProcessTerminalOutput(const std::string& input, std::string& pendingSequence,
                                           std::optional<std::size_t> maxPendingSequence = std::nullopt);

// The caller's side (the pseudo-console output handler): each chunk is processed behind the previous call's
// held-back tail.
class RegexTerminalOracle {
 public:
  explicit RegexTerminalOracle(std::optional<std::size_t> maxPendingSequence = std::nullopt)
      : maxPendingSequence_(maxPendingSequence) {}

  ProcessedOutput Process(std::string_view chunk);
  const std::string& pendingSequence() const { return pendingSequence_; }

 private:
  std::optional<std::size_t> maxPendingSequence_;
  std::string pendingSequence_;
};

}  // namespace snh::oracle
