// The escape-sequence processor on any byte stream cut into any chunks:
//  - against the regex oracle (the original rules, with the processor's deliberate changes) call by call:
//    same text, title and held-back tail, under the default bound or a small one;
//  - chunking invariance: however the stream is cut, the chunks give the same text in total,
//    the same last title and the same final tail as the stream in one piece;
//  - the held-back tail is empty or starts with ESC, and never exceeds the bound.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "output/RegexTerminalOracle.h"
#include "output/TerminalOutputProcessor.h"
#include "output/TerminalOutputTestSupport.h"

namespace snh {
namespace {

// libstdc++'s std::regex recurses once per byte: the oracle only sees inputs this short.
constexpr std::size_t kOracleInputLimit = 256;

void CompareWithOracle(const std::vector<std::string>& chunks, std::optional<std::size_t> bound) {
  TerminalOutputProcessor processor = bound ? TerminalOutputProcessor(*bound) : TerminalOutputProcessor();
  oracle::RegexTerminalOracle regexOracle(bound);
  for (const std::string& chunk : chunks) {
    const ProcessedOutput expected = regexOracle.Process(chunk);
    const ProcessedOutput got = processor.Process(chunk);
    FUZZ_CHECK(got.processedContent == expected.processedContent, "text as the oracle's");
    FUZZ_CHECK(got.windowTitle == expected.windowTitle, "title as the oracle's");
    FUZZ_CHECK(processor.pendingSequence() == regexOracle.pendingSequence(), "tail as the oracle's");
  }
}

}  // namespace
}  // namespace snh

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace snh;
  FuzzedDataProvider provider(data, size);
  // 0: the default bound; otherwise a small one, so that inputs reach it.
  const auto boundChoice = provider.ConsumeIntegralInRange<std::size_t>(0, 24);
  std::vector<std::size_t> chunkSizes(provider.ConsumeIntegralInRange<std::size_t>(0, 16));
  for (std::size_t& chunkSize : chunkSizes) chunkSize = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
  const std::string stream = provider.ConsumeRemainingBytesAsString();

  std::vector<std::string> chunks;
  std::size_t at = 0;
  for (const std::size_t chunkSize : chunkSizes) {
    if (at >= stream.size()) break;
    chunks.push_back(stream.substr(at, chunkSize));
    at += chunks.back().size();
  }
  chunks.push_back(stream.substr(at));

  const std::optional<std::size_t> bound =
      boundChoice == 0 ? std::nullopt : std::optional<std::size_t>(boundChoice);
  const std::size_t effectiveBound = bound.value_or(TerminalOutputProcessor::kMaxPendingSequence);

  TerminalOutputProcessor whole = bound ? TerminalOutputProcessor(*bound) : TerminalOutputProcessor();
  const terminal_test::StreamResult inOnePiece = terminal_test::Feed(whole, {stream});
  TerminalOutputProcessor cut = bound ? TerminalOutputProcessor(*bound) : TerminalOutputProcessor();
  const terminal_test::StreamResult inChunks = terminal_test::Feed(cut, chunks);
  for (const terminal_test::StreamResult* result : {&inOnePiece, &inChunks}) {
    FUZZ_CHECK(result->longestTail <= effectiveBound, "held-back tail within the bound");
    FUZZ_CHECK(result->tailsStartWithEsc, "held-back tail starts with ESC");
  }
  FUZZ_CHECK(inChunks.text == inOnePiece.text, "same text whatever the cuts");
  FUZZ_CHECK(inChunks.lastTitle == inOnePiece.lastTitle, "same last title whatever the cuts");
  FUZZ_CHECK(inChunks.pending == inOnePiece.pending, "same final tail whatever the cuts");

  if (stream.size() <= kOracleInputLimit) CompareWithOracle(chunks, bound);
  return 0;
}
