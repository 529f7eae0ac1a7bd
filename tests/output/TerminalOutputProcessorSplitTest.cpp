// Split-input tests: the stream cut into chunks anywhere gives the same text, in total, the same last
// title and the same final tail as the stream in one piece, cuts between the ESC and `\` of a terminator
// included. The random streams run under small bounds too, which their sequences pass.

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "output/TerminalOutputProcessor.h"
#include "output/TerminalOutputTestSupport.h"

namespace snh {
namespace {

using terminal_test::Bytes;
using terminal_test::Cat;
using terminal_test::Feed;
using terminal_test::Show;
using terminal_test::StreamResult;

std::string Describe(const std::vector<std::string>& chunks) {
  std::string shown;
  for (const std::string& chunk : chunks) shown += Cat({"[", Show(chunk), "]"});
  return shown;
}

void ExpectSameAsWhole(const std::string& input, const std::vector<std::string>& chunks,
                       std::size_t bound = TerminalOutputProcessor::kMaxPendingSequence) {
  TerminalOutputProcessor inOnePiece(bound);
  TerminalOutputProcessor inChunks(bound);
  const StreamResult whole = Feed(inOnePiece, {input});
  const StreamResult split = Feed(inChunks, chunks);
  SCOPED_TRACE(Cat({"bound ", std::to_string(bound), ", chunks ", Describe(chunks)}));
  EXPECT_TRUE(whole.tailsStartWithEsc && split.tailsStartWithEsc);
  EXPECT_LE(split.longestTail, bound);
  EXPECT_EQ(Show(split.text), Show(whole.text));
  EXPECT_EQ(split.lastTitle, whole.lastTitle);
  EXPECT_EQ(Show(split.pending), Show(whole.pending));
}

// Streams in the notation of Bytes(): the documented edge cases and table rows joined into longer runs.
constexpr std::string_view kStreams[] = {
    "ESC [ 31m red ESC [ 0m plain",
    "a ESC [ ?25l b ESC [ 2J c ESC [ H d ESC [ 12;40H e",
    "ESC ] 0;Title BEL text ESC ] 2;Other ESC \\ more ESC ] 1;Icon BEL end",
    "ESC ] 0; BEL x ESC ] 2;second BEL",
    "a ESC 7 b ESC 8 c ESC ( B d ESC ESC e ESC ESC [ 31m f",
    "ESC [ LF x ESC ] xy BEL ESC ] ;t BEL ESC ] 0 x BEL",
    "ESC ] 99999999999;t BEL after ESC ] 2147483648;u BEL ESC ] 00002;ok BEL tail",
    "ESC P 1$r0m ESC \\ ESC X a ESC \\ ESC ^ b ESC \\ ESC _ c ESC \\",
    "ESC [ 0123456789:;<=>? SP !\"#$%&'()*+,-./ m ESC [ SP q ESC [ ! 1 m ESC [ 1 ! 2",
    "ESC [ 1 NUL m ESC [ 1 DEL m ESC [ %9B m ESC [ 1 ESC [ 2J x",
    "ESC ] 0;T ESC [ 31m X ESC ] ESC ] 0;t BEL ESC ] 0 ESC [ 1m",
    "ESC ] 0;a;b=c SP %C3 %A9 LF CR NUL %9C %FF BEL z",
    "text ESC ] 0;unfinished title",
    "text ESC [ 1;2",
    "text ESC ]",
    "text ESC",
    "ESC ] 0;T ESC",
    "%C3 %A9 CR LF ESC [ 1;32m ok ESC [ m CR LF BS TAB BEL NUL %FF",
    "ESC ] 4;1;rgb:ff/00/00 BEL ESC ] 8;;http://e BEL link ESC ] 8;; BEL ESC ] 52;c;Zm9v BEL",
};

TEST(TerminalOutputProcessorSplitTest, TwoChunksCutAnywhere) {
  for (const std::string_view stream : kStreams) {
    const std::string input = Bytes(stream);
    for (std::size_t k = 0; k <= input.size(); ++k) {
      ExpectSameAsWhole(input, {input.substr(0, k), input.substr(k)});
    }
  }
}

TEST(TerminalOutputProcessorSplitTest, ByteByByte) {
  for (const std::string_view stream : kStreams) {
    const std::string input = Bytes(stream);
    std::vector<std::string> chunks;
    std::size_t from = 0;
    for (std::size_t k = 1; k <= input.size(); ++k) {
      chunks.push_back(input.substr(from, k - from));
      from = k;
    }
    ExpectSameAsWhole(input, chunks);
  }
}

TEST(TerminalOutputProcessorSplitTest, RandomMultiWaySplits) {
  constexpr std::uint64_t kSeed = 0x5eed'0042;
  SCOPED_TRACE(Cat({"seed ", std::to_string(kSeed)}));
  std::mt19937_64 rng(kSeed);
  for (const std::string_view stream : kStreams) {
    const std::string input = Bytes(stream);
    for (int round = 0; round < 100; ++round) {
      ExpectSameAsWhole(input, terminal_test::RandomChunks(rng, input, [](std::size_t) { return true; }));
    }
  }
}

TEST(TerminalOutputProcessorSplitTest, RandomStreamsRandomSplits) {
  constexpr std::uint64_t kSeed = 0x5eed'0043;
  SCOPED_TRACE(Cat({"seed ", std::to_string(kSeed)}));
  std::mt19937_64 rng(kSeed);
  for (int round = 0; round < 3000 && !::testing::Test::HasFailure(); ++round) {
    const std::string input = terminal_test::RandomTerminalInput(rng, 400);
    SCOPED_TRACE(Cat({"round ", std::to_string(round), ", input ", Show(input)}));
    for (const std::size_t bound :
         std::vector<std::size_t>{TerminalOutputProcessor::kMaxPendingSequence, 1, 4, 9}) {
      ExpectSameAsWhole(input, terminal_test::RandomChunks(rng, input, [](std::size_t) { return true; }),
                        bound);
    }
  }
}

}  // namespace
}  // namespace snh
