// TerminalOutputProcessor against the regex oracle (the original algorithm as written, with std::regex) on
// thousands of random short inputs cut into random chunks: every call must give the same text, title
// and held-back tail. The seed is fixed; TERMINAL_OUTPUT_SEED=<number> in the environment replaces it.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "output/RegexTerminalOracle.h"
#include "output/TerminalOutputProcessor.h"
#include "output/TerminalOutputTestSupport.h"

namespace snh {
namespace {

using terminal_test::Cat;

using terminal_test::Show;

std::uint64_t Seed(std::uint64_t fixed) {
  if (const char* text = std::getenv("TERMINAL_OUTPUT_SEED")) return std::strtoull(text, nullptr, 0);
  return fixed;
}

// What the random inputs reached, so that a weakened generator cannot pass unnoticed.
struct Coverage {
  int calls = 0;
  int titles = 0;
  int emptyTitles = 0;
  int heldBack = 0;
  int heldBackCommandText = 0;
  int heldBackControlSequence = 0;
  int textWithEscape = 0;
  int releasedByBound = 0;  // a call that would have held back more than the bound
};

std::string ShowTitle(const std::optional<std::string>& title) {
  return title ? Cat({"\"", Show(*title), "\""}) : "(none)";
}

// Runs one input, cut as given, through both; false at the first difference (reported).
bool RunBoth(const std::vector<std::string>& chunks, std::optional<std::size_t> bound, Coverage& coverage) {
  TerminalOutputProcessor processor = bound ? TerminalOutputProcessor(*bound) : TerminalOutputProcessor();
  oracle::RegexTerminalOracle regexOracle(bound);
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const std::string input = regexOracle.pendingSequence() + chunks[i];
    const ProcessedOutput expected = regexOracle.Process(chunks[i]);
    const ProcessedOutput got = processor.Process(chunks[i]);
    const bool same = got == expected && processor.pendingSequence() == regexOracle.pendingSequence();
    EXPECT_TRUE(same) << "call " << i << " of " << chunks.size() << ", input " << Show(input) << "\n"
                      << "  text:    " << Show(got.processedContent) << "\n"
                      << "  oracle:  " << Show(expected.processedContent) << "\n"
                      << "  title:   " << ShowTitle(got.windowTitle) << "\n"
                      << "  oracle:  " << ShowTitle(expected.windowTitle) << "\n"
                      << "  pending: " << Show(processor.pendingSequence()) << "\n"
                      << "  oracle:  " << Show(regexOracle.pendingSequence());
    if (!same) return false;

    const std::string& pending = processor.pendingSequence();
    ++coverage.calls;
    if (got.windowTitle) ++coverage.titles;
    if (got.windowTitle && got.windowTitle->empty()) ++coverage.emptyTitles;
    if (!pending.empty()) ++coverage.heldBack;
    if (pending.size() > 3 && pending[1] == ']' && pending.find(';') != std::string::npos) {
      ++coverage.heldBackCommandText;
    }
    if (pending.size() > 2 && pending[1] == '[') ++coverage.heldBackControlSequence;
    if (got.processedContent.find('\x1b') != std::string::npos) ++coverage.textWithEscape;
    if (bound) {
      std::string unbounded;
      oracle::RegexProcessTerminalOutput(input, unbounded);
      if (unbounded.size() > *bound) ++coverage.releasedByBound;
    }
    EXPECT_LE(pending.size(), bound.value_or(TerminalOutputProcessor::kMaxPendingSequence));
  }
  return true;
}

void RunRandom(std::uint64_t seed, int inputs, std::optional<std::size_t> bound, Coverage& coverage) {
  std::mt19937_64 rng(seed);
  for (int round = 0; round < inputs; ++round) {
    const std::string input = terminal_test::RandomTerminalInput(rng, 300);
    const std::vector<std::string> chunks =
        terminal_test::RandomChunks(rng, input, [](std::size_t) { return true; });
    if (!RunBoth(chunks, bound, coverage)) {
      ADD_FAILURE() << "seed " << seed << " (TERMINAL_OUTPUT_SEED), round " << round << ", bound "
                    << (bound ? std::to_string(*bound) : std::string("none"));
      return;
    }
  }
}

TEST(TerminalOutputProcessorDifferentialTest, AgreesWithRegexOracleOnRandomChunkedInputs) {
  const std::uint64_t seed = Seed(20261207);
  Coverage coverage;
  RunRandom(seed, 6000, std::nullopt, coverage);
  EXPECT_GT(coverage.titles, 1000);
  EXPECT_GT(coverage.emptyTitles, 50);
  EXPECT_GT(coverage.heldBack, 10000);
  EXPECT_GT(coverage.heldBackCommandText, 2000);
  EXPECT_GT(coverage.heldBackControlSequence, 1000);
  EXPECT_GT(coverage.textWithEscape, 5000);
}

TEST(TerminalOutputProcessorDifferentialTest, AgreesWithRegexOracleUnderSmallBounds) {
  const std::uint64_t seed = Seed(20261208);
  Coverage coverage;
  for (const std::size_t bound : {1, 2, 3, 4, 5, 8, 13, 32}) {
    RunRandom(seed + bound, 400, bound, coverage);
  }
  EXPECT_GT(coverage.releasedByBound, 500);
  EXPECT_GT(coverage.heldBack, 4000);
}

}  // namespace
}  // namespace snh
