// TerminalOutputProcessor against its documented edge cases and the rows of its three tables (each
// case is also run through the regex oracle, the original algorithm as written), multi-chunk cases, the
// bound on held-back sequences, oversized command numbers, held-back sequences kept apart per
// processor, and large inputs.

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "output/RegexTerminalOracle.h"
#include "output/TerminalOutputProcessor.h"
#include "output/TerminalOutputTestSupport.h"

namespace snh {
namespace {

using terminal_test::Cat;

using terminal_test::Bytes;
using terminal_test::Show;

constexpr std::size_t kBound = TerminalOutputProcessor::kMaxPendingSequence;
constexpr std::nullopt_t kNoTitle = std::nullopt;

ProcessedOutput Text(std::string text) { return {std::move(text), std::nullopt}; }
ProcessedOutput Titled(std::string text, std::string title) { return {std::move(text), std::move(title)}; }

std::string ShowTitle(const std::optional<std::string>& title) {
  return title ? Cat({"\"", Show(*title), "\""}) : "(none)";
}

// One call on a fresh processor. Inputs, texts, titles and tails in the notation of Bytes().
struct Case {
  std::string_view name;
  std::string_view input;
  std::string_view text;
  std::optional<std::string_view> title;
  std::string_view pending = "";
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

std::optional<std::string> ExpectedTitle(const std::optional<std::string_view>& title) {
  if (!title) return std::nullopt;
  return Bytes(*title);
}

void ExpectResult(const ProcessedOutput& got, const std::string& gotPending, const Case& c) {
  EXPECT_EQ(Show(got.processedContent), Show(Bytes(c.text)));
  EXPECT_EQ(ShowTitle(got.windowTitle), ShowTitle(ExpectedTitle(c.title)));
  EXPECT_EQ(Show(gotPending), Show(Bytes(c.pending)));
}

class TerminalOutputProcessorTableTest : public ::testing::TestWithParam<Case> {};

TEST_P(TerminalOutputProcessorTableTest, GivesTheTextTitleAndTail) {
  const Case& c = GetParam();
  const std::string input = Bytes(c.input);
  SCOPED_TRACE(Cat({"input ", Show(input)}));
  {
    SCOPED_TRACE("TerminalOutputProcessor");
    TerminalOutputProcessor processor;
    const ProcessedOutput got = processor.Process(input);
    ExpectResult(got, processor.pendingSequence(), c);
  }
  {
    SCOPED_TRACE("regex oracle");
    oracle::RegexTerminalOracle regexOracle;
    const ProcessedOutput got = regexOracle.Process(input);
    ExpectResult(got, regexOracle.pendingSequence(), c);
  }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); }

// The documented edge cases, in order; the last is changed (no exception).
const Case kEdgeCases[] = {
    {"TextWithoutEscapeUnchanged", "A b CR LF BS TAB BEL NUL %80 %9C %C3 %A9 %FF z",
     "A b CR LF BS TAB BEL NUL %80 %9C %C3 %A9 %FF z", kNoTitle},
    {"ColourAroundWord", "ESC [ 31m red ESC [ 0m", "red", kNoTitle},
    {"CursorAndModeSequencesJoinText", "a ESC [ ?25l b ESC [ 2J c ESC [ H d ESC [ 12;40H e", "abcde",
     kNoTitle},
    {"TitleWithBel", "ESC ] 0;Title BEL", "", "Title"},
    {"TitleWithStringTerminator", "ESC ] 2;Title ESC \\", "", "Title"},
    {"IconNameIsNoTitle", "ESC ] 1;Title BEL", "", kNoTitle},
    {"SecondTitleWins", "ESC ] 0;First BEL x ESC ] 2;Second ESC \\", "x", "Second"},
    {"EmptyTitleIsATitle", "ESC ] 0; BEL", "", ""},
    {"HoldsEscape", "ab ESC", "ab", kNoTitle, "ESC"},
    {"HoldsControlSequenceIntroducer", "ab ESC [", "ab", kNoTitle, "ESC ["},
    {"HoldsControlSequenceParameters", "ab ESC [ 1;", "ab", kNoTitle, "ESC [ 1;"},
    {"HoldsCommandIntroducer", "ab ESC ]", "ab", kNoTitle, "ESC ]"},
    {"HoldsUnfinishedTitle", "ab ESC ] 0;par", "ab", kNoTitle, "ESC ] 0;par"},
    {"EscapeCutFromBackslashIsHeld", "ESC ] 0;T ESC", "", kNoTitle, "ESC ] 0;T ESC"},
    {"SaveAndRestoreCursorDropped", "a ESC 7 b ESC 8 c", "abc", kNoTitle},
    {"CharacterSetStaysText", "ESC ( B", "ESC ( B", kNoTitle},
    {"TwoEscapesStayText", "ESC ESC", "ESC ESC", kNoTitle},
    {"ScanningGoesOnAfterTwoEscapes", "ESC ESC [ 31m x", "ESC ESC [ 31m x", kNoTitle},
    {"LineFeedBreaksControlSequence", "ESC [ LF x", "ESC [ LF x", kNoTitle},
    {"CommandWithoutNumberIsText", "ESC ] xy BEL", "ESC ] xy BEL", kNoTitle},
    {"OversizedNumberDropped", "ESC ] 99999999999;t BEL after", "after", kNoTitle},
};
INSTANTIATE_TEST_SUITE_P(TerminalOutputProcessorEdgeCases, TerminalOutputProcessorTableTest,
                         ::testing::ValuesIn(kEdgeCases), CaseName);

// The table "Byte after ESC", row by row (every byte value is checked below).
const Case kEscapeByteRows[] = {
    {"NoneHeld", "x ESC", "x", kNoTitle, "ESC"},
    {"DigitsDropped", "a ESC 0 b ESC 5 c ESC 9 d", "abcd", kNoTitle},
    {"AtToZDropped", "a ESC @ b ESC A c ESC M d ESC Z e", "abcde", kNoTitle},
    {"LeftBracketIsControlSequence", "a ESC [ 1m b", "ab", kNoTitle},
    {"StringTerminatorDropped", "a ESC \\ b", "ab", kNoTitle},
    {"RightBracketIsCommand", "a ESC ] 0;t BEL b", "ab", "t"},
    {"CaretAndUnderscoreDropped", "a ESC ^ b ESC _ c", "abc", kNoTitle},
    {"OthersStayText", "ESC NUL ESC SP ESC / ESC : ESC ; ESC ? ESC ` ESC a ESC ~ ESC DEL ESC %80 ESC %FF",
     "ESC NUL ESC SP ESC / ESC : ESC ; ESC ? ESC ` ESC a ESC ~ ESC DEL ESC %80 ESC %FF", kNoTitle},
    {"EscapeAfterEscapeStaysText", "ESC ESC ] 0;t BEL", "ESC ESC ] 0;t BEL", kNoTitle},
    {"ByteAfterEscapeIsNotScannedAgain", "ESC ESC ESC 7 x", "ESC ESC x", kNoTitle},
    {"DeviceControlStringBodyIsText", "ESC P 1$r0m ESC \\ x", "1$r0mx", kNoTitle},
    {"OtherStringBodiesAreText", "ESC X a ESC \\ ESC ^ b ESC \\ ESC _ c ESC \\", "abc", kNoTitle},
    {"CharsetKeypadAndLowerCaseStayText", "ESC ( B ESC ) 0 ESC = ESC > ESC c ESC z",
     "ESC ( B ESC ) 0 ESC = ESC > ESC c ESC z", kNoTitle},
    {"TwoEscapesAtEndNotHeld", "x ESC ESC", "x ESC ESC", kNoTitle},
};
INSTANTIATE_TEST_SUITE_P(TerminalOutputProcessorEscapeByte, TerminalOutputProcessorTableTest,
                         ::testing::ValuesIn(kEscapeByteRows), CaseName);

// The table "Control sequences", row by row.
const Case kControlSequenceRows[] = {
    {"EmptyRestHeld", "x ESC [", "x", kNoTitle, "ESC ["},
    {"FinalOnlyDropped", "a ESC [ m b", "ab", kNoTitle},
    {"LowestAndHighestFinalDropped", "a ESC [ @ b ESC [ ~ c", "abc", kNoTitle},
    {"AllParameterAndIntermediateBytesDropped", "a ESC [ 0123456789:;<=>? SP !\"#$%&'()*+,-./ m b", "ab",
     kNoTitle},
    {"IntermediatesOnlyDropped", "a ESC [ SP q b", "ab", kNoTitle},
    {"PrivateModeDropped", "a ESC [ ?1049h b ESC [ ?1049l c", "abc", kNoTitle},
    {"ScrollRegionAndEraseDropped", "a ESC [ 1;24r b ESC [ K c ESC [ 2S d", "abcd", kNoTitle},
    {"ParametersHeld", "x ESC [ 12;4", "x", kNoTitle, "ESC [ 12;4"},
    {"PrivateParametersHeld", "x ESC [ ?25", "x", kNoTitle, "ESC [ ?25"},
    {"ParametersAndIntermediatesHeld", "x ESC [ 2 SP !", "x", kNoTitle, "ESC [ 2 SP !"},
    {"IntermediatesOnlyHeld", "x ESC [ SP", "x", kNoTitle, "ESC [ SP"},
    {"EveryParameterAndIntermediateHeld", "ESC [ 0123456789:;<=>? SP !\"#$%&'()*+,-./", "", kNoTitle,
     "ESC [ 0123456789:;<=>? SP !\"#$%&'()*+,-./"},
    {"NulBeforeFinalIsText", "ESC [ 1 NUL m", "ESC [ 1 NUL m", kNoTitle},
    {"LineFeedBeforeFinalIsText", "ESC [ 1 LF m", "ESC [ 1 LF m", kNoTitle},
    {"DelBeforeFinalIsText", "ESC [ 1 DEL m", "ESC [ 1 DEL m", kNoTitle},
    {"HighByteBeforeFinalIsText", "ESC [ %9B m ESC [ 1 %FF", "ESC [ %9B m ESC [ 1 %FF", kNoTitle},
    {"ParameterAfterIntermediateIsText", "ESC [ ! 1 m", "ESC [ ! 1 m", kNoTitle},
    {"ParameterAfterIntermediateAtEndIsText", "ESC [ 1 ! 2", "ESC [ 1 ! 2", kNoTitle},
    {"EscapeBeforeFinalStartsOver", "ESC [ 1 ESC [ 2J x", "ESC [ 1 x", kNoTitle},
    {"EscapeAtEndAfterParametersHeldAlone", "ESC [ 1 ESC", "ESC [ 1", kNoTitle, "ESC"},
    {"BracketAfterIntroducerIsFinalByte", "ESC [ [ x", "x", kNoTitle},
};
INSTANTIATE_TEST_SUITE_P(TerminalOutputProcessorControlSequence, TerminalOutputProcessorTableTest,
                         ::testing::ValuesIn(kControlSequenceRows), CaseName);

// The table "Operating-system commands", row by row.
const Case kCommandRows[] = {
    {"EmptyRestHeld", "x ESC ]", "x", kNoTitle, "ESC ]"},
    {"TitleZeroWithBel", "a ESC ] 0;Title BEL b", "ab", "Title"},
    {"TitleTwoWithStringTerminator", "a ESC ] 2;Title ESC \\ b", "ab", "Title"},
    {"TitleKeepsEveryOtherByte", "ESC ] 0;a;b=c SP %C3 %A9 LF CR NUL %9C %FF BEL", "",
     "a;b=c SP %C3 %A9 LF CR NUL %9C %FF"},
    {"TitleWithLeadingZeros", "ESC ] 00;a BEL ESC ] 00002;b BEL", "", "b"},
    {"EmptyTitleWithStringTerminator", "ESC ] 2; ESC \\", "", ""},
    {"IconNameDropped", "a ESC ] 1;x BEL b", "ab", kNoTitle},
    {"OtherNumbersDropped",
     "ESC ] 3;x BEL ESC ] 4;1;rgb:ff/00/00 ESC \\ ESC ] 7;file://h/d BEL ESC ] 8;;http://e BEL ESC ] 10;? "
     "BEL "
     "ESC ] 52;c;Zm9v BEL ESC ] 112 ; BEL ESC ] 20;x BEL",
     "", kNoTitle},
    {"NumberTwentyIsNotTwo", "ESC ] 20;x BEL ESC ] 200;x BEL", "", kNoTitle},
    {"LargestIntDropped", "ESC ] 2147483647;x BEL y", "y", kNoTitle},
    {"NumberOverIntDropped", "ESC ] 2147483648;x BEL y", "y", kNoTitle},
    {"NumberThatWrapsToTwoDropped", "ESC ] 4294967298;x BEL ESC ] 18446744073709551618;x BEL y", "y",
     kNoTitle},
    {"OversizedNumberBeforeTitle", "a ESC ] 99999999999;t BEL b ESC ] 0;ok BEL c", "abc", "ok"},
    {"TitleBeforeOtherCommandKept", "ESC ] 0;kept BEL ESC ] 1;icon BEL", "", "kept"},
    {"DigitsHeld", "x ESC ] 12", "x", kNoTitle, "ESC ] 12"},
    {"DigitsAndSemicolonHeld", "x ESC ] 0;", "x", kNoTitle, "ESC ] 0;"},
    {"TextHeld", "x ESC ] 2;par", "x", kNoTitle, "ESC ] 2;par"},
    {"TextWithControlAndHighBytesHeld", "ESC ] 2; %80 LF NUL %9C", "", kNoTitle, "ESC ] 2; %80 LF NUL %9C"},
    {"OversizedNumberHeld", "ESC ] 99999999999;t", "", kNoTitle, "ESC ] 99999999999;t"},
    {"NoDigitsIsText", "ESC ] ;t BEL", "ESC ] ;t BEL", kNoTitle},
    {"LettersIsText", "ESC ] xy BEL", "ESC ] xy BEL", kNoTitle},
    {"NoSemicolonAfterDigitsIsText", "ESC ] 0 x BEL", "ESC ] 0 x BEL", kNoTitle},
    {"BelAfterDigitsIsText", "ESC ] 0 BEL", "ESC ] 0 BEL", kNoTitle},
    {"NoSemicolonAtEndIsText", "ESC ] 0:", "ESC ] 0:", kNoTitle},
    {"StringTerminatorAfterDigitsIsText", "ESC ] 0 ESC \\ x", "ESC ] 0 x", kNoTitle},
    {"EscapeNotFollowedByBackslashIsText", "ESC ] 0;T ESC [ 31m X", "ESC ] 0;T X", kNoTitle},
    {"TwoEscapesInTextAreText", "ESC ] 0;T ESC ESC \\ x", "ESC ] 0;T ESC ESC \\ x", kNoTitle},
    {"EscapeEndingInputAfterTextHeld", "x ESC ] 0;T ESC", "x", kNoTitle, "ESC ] 0;T ESC"},
    {"EscapeEndingInputAfterSemicolonHeld", "ESC ] 0; ESC", "", kNoTitle, "ESC ] 0; ESC"},
    {"EscapeEndingInputAfterDigitsIsText", "ESC ] 0 ESC", "ESC ] 0", kNoTitle, "ESC"},
    {"CommandAfterBrokenCommandRecognised", "ESC ] ESC ] 0;t BEL", "ESC ]", "t"},
};
INSTANTIATE_TEST_SUITE_P(TerminalOutputProcessorCommand, TerminalOutputProcessorTableTest,
                         ::testing::ValuesIn(kCommandRows), CaseName);

TEST(TerminalOutputProcessorEscapeByteTest, EveryByteAfterEscape) {
  for (int value = 0; value < 256; ++value) {
    const char c = static_cast<char>(value);
    if (c == '[' || c == ']') continue;  // the introducers have their own tables
    const bool twoByteEscape = (value >= 0x30 && value <= 0x39) || (value >= 0x40 && value <= 0x5A) ||
                               c == '\\' || c == '^' || c == '_';
    const std::string input = std::string("a\x1b") + c + "z";
    SCOPED_TRACE(Cat({"input ", Show(input)}));
    TerminalOutputProcessor processor;
    const ProcessedOutput got = processor.Process(input);
    EXPECT_EQ(Show(got.processedContent), Show(twoByteEscape ? "az" : input));
    EXPECT_FALSE(got.windowTitle);
    EXPECT_EQ(processor.pendingSequence(), "");
  }
}

TEST(TerminalOutputProcessorTextTest, EveryByteButEscapeIsCopied) {
  std::string input;
  for (int value = 0; value < 256; ++value) {
    if (value != 0x1b) input += static_cast<char>(value);
  }
  TerminalOutputProcessor processor;
  const ProcessedOutput got = processor.Process(input + input);
  EXPECT_EQ(got.processedContent, input + input);
  EXPECT_FALSE(got.windowTitle);
  EXPECT_EQ(processor.pendingSequence(), "");
}

TEST(TerminalOutputProcessorTextTest, EmptyChunkGivesNothing) {
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process(""), Text(""));
  EXPECT_EQ(processor.pendingSequence(), "");
}

TEST(TerminalOutputProcessorControlSequenceTest, EveryFinalByteEndsTheSequence) {
  for (int value = 0x40; value <= 0x7E; ++value) {
    const std::string input = std::string("a\x1b[1;2") + static_cast<char>(value) + "z";
    SCOPED_TRACE(Cat({"input ", Show(input)}));
    TerminalOutputProcessor processor;
    EXPECT_EQ(processor.Process(input).processedContent, "az");
    EXPECT_EQ(processor.pendingSequence(), "");
  }
}

TEST(TerminalOutputProcessorControlSequenceTest, EveryByteOutsideTheSequenceClassesBreaksIt) {
  for (int value = 0; value < 256; ++value) {
    if (value >= 0x20 && value <= 0x7E) continue;
    const std::string input = std::string("\x1b[1") + static_cast<char>(value) + "m";
    SCOPED_TRACE(Cat({"input ", Show(input)}));
    TerminalOutputProcessor processor;
    // For ESC the rest is "ESC m", which is not recognised either.
    EXPECT_EQ(Show(processor.Process(input).processedContent), Show(input));
    EXPECT_EQ(processor.pendingSequence(), "");
  }
}

TEST(TerminalOutputProcessorCommandTest, NumbersWithLeadingZerosAreTitles) {
  for (const char* number : {"0", "2", "00", "02", "0000000002"}) {
    TerminalOutputProcessor processor;
    const ProcessedOutput got = processor.Process(std::string("\x1b]") + number + ";t\x07");
    EXPECT_EQ(got.windowTitle, std::optional<std::string>("t")) << number;
  }
  const std::string hundredZerosThenTwo = std::string(100, '0') + "2";
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process("\x1b]" + hundredZerosThenTwo + ";t\x1b\\").windowTitle, "t");
  EXPECT_EQ(processor.Process("\x1b]" + hundredZerosThenTwo + "0;t\x07").windowTitle, std::nullopt);
}

TEST(TerminalOutputProcessorCommandTest, OversizedNumberIsDroppedWithoutExceptionAndTextGoesOn) {
  const std::string numbers[] = {"2147483648",  "4294967296",           "4294967298",
                                 "99999999999", "18446744073709551618", std::string(300, '9')};
  for (const std::string& number : numbers) {
    for (const char* terminator : {"\x07", "\x1b\\"}) {
      TerminalOutputProcessor processor;
      ProcessedOutput got;
      ASSERT_NO_THROW(got = processor.Process("before\x1b]" + number + ";t" + terminator + "after\x1b[1m!"));
      EXPECT_EQ(got.processedContent, "beforeafter!") << number;
      EXPECT_EQ(got.windowTitle, std::nullopt) << number;
      ASSERT_NO_THROW(got = processor.Process("\x1b]0;next\x07more"));
      EXPECT_EQ(got, Titled("more", "next"));
    }
  }
}

TEST(TerminalOutputProcessorCommandTest, OversizedNumberSplitAcrossChunks) {
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process("a\x1b]99999"), Text("a"));
  EXPECT_EQ(processor.Process("999999;t"), Text(""));
  EXPECT_EQ(processor.pendingSequence(), "\x1b]99999999999;t");
  EXPECT_EQ(processor.Process("\x07z"), Text("z"));
  EXPECT_EQ(processor.pendingSequence(), "");
}

// Several calls on one processor: each chunk's text, title and tail.
struct Call {
  std::string_view chunk;
  std::string_view text;
  std::optional<std::string_view> title;
  std::string_view pending = "";
};
struct ChunkCase {
  std::string_view name;
  std::vector<Call> calls;
};
std::ostream& operator<<(std::ostream& out, const ChunkCase& c) { return out << c.name; }

class TerminalOutputProcessorChunkTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(TerminalOutputProcessorChunkTest, CompletesHeldBackSequences) {
  TerminalOutputProcessor processor;
  oracle::RegexTerminalOracle regexOracle;
  for (const Call& call : GetParam().calls) {
    const std::string chunk = Bytes(call.chunk);
    SCOPED_TRACE(Cat({"chunk ", Show(chunk)}));
    const Case expected{"", call.chunk, call.text, call.title, call.pending};
    {
      SCOPED_TRACE("TerminalOutputProcessor");
      const ProcessedOutput got = processor.Process(chunk);
      ExpectResult(got, processor.pendingSequence(), expected);
    }
    {
      SCOPED_TRACE("regex oracle");
      const ProcessedOutput got = regexOracle.Process(chunk);
      ExpectResult(got, regexOracle.pendingSequence(), expected);
    }
  }
}

const ChunkCase kChunkCases[] = {
    {"ParametersThenFinal", {{"a ESC [ 1;", "a", kNoTitle, "ESC [ 1;"}, {"31m x", "x", kNoTitle}}},
    {"ByteByByteColour",
     {{"ESC", "", kNoTitle, "ESC"},
      {"[", "", kNoTitle, "ESC ["},
      {"3", "", kNoTitle, "ESC [ 3"},
      {"1", "", kNoTitle, "ESC [ 31"},
      {"m", "", kNoTitle},
      {"x", "x", kNoTitle}}},
    {"TitleAcrossThreeChunks",
     {{"a ESC ]", "a", kNoTitle, "ESC ]"},
      {"0;Ti", "", kNoTitle, "ESC ] 0;Ti"},
      {"tle BEL b", "b", "Title"},
      {"c", "c", kNoTitle}}},
    {"TitleCutBeforeSemicolon", {{"ESC ] 2", "", kNoTitle, "ESC ] 2"}, {";x ESC \\ y", "y", "x"}}},
    {"TitleCutAfterSemicolon", {{"ESC ] 2;", "", kNoTitle, "ESC ] 2;"}, {"BEL", "", ""}}},
    {"TitleInOneChunkOnly", {{"ESC ] 0;t BEL", "", "t"}, {"x", "x", kNoTitle}}},
    {"EscapeThenBracketThenBreak", {{"ESC", "", kNoTitle, "ESC"}, {"[ LF", "ESC [ LF", kNoTitle}}},
    {"EscapeThenTwoByteEscape", {{"a ESC", "a", kNoTitle, "ESC"}, {"7b", "b", kNoTitle}}},
    {"EscapeThenEscape", {{"ESC", "", kNoTitle, "ESC"}, {"ESC [ 1m", "ESC ESC [ 1m", kNoTitle}}},
    {"HeldParametersBroken", {{"ESC [ 1", "", kNoTitle, "ESC [ 1"}, {"! 2 x", "ESC [ 1 ! 2 x", kNoTitle}}},
    {"HeldTitleBrokenByEscape",
     {{"ESC ] 0;abc", "", kNoTitle, "ESC ] 0;abc"}, {"LF ESC [ 1m d", "ESC ] 0;abc LF d", kNoTitle}}},
    {"HeldTitleThenEscapeAtEnd",
     {{"ESC ] 0;abc", "", kNoTitle, "ESC ] 0;abc"},
      {"ESC", "", kNoTitle, "ESC ] 0;abc ESC"},
      {"\\", "", "abc"}}},
    // Regression: a read ending between the ESC and the backslash of a terminator lost the title.
    {"CutInsideStringTerminatorKeepsTitle",
     {{"a ESC ] 0;T ESC", "a", kNoTitle, "ESC ] 0;T ESC"}, {"\\ x", "x", "T"}}},
    {"CutInsideStringTerminatorThenOtherSequence",
     {{"ESC ] 2;T ESC", "", kNoTitle, "ESC ] 2;T ESC"}, {"[ 1m x", "ESC ] 2;T x", kNoTitle}}},
    {"CutInsideStringTerminatorThenEscape",
     {{"ESC ] 2;T ESC", "", kNoTitle, "ESC ] 2;T ESC"},
      {"ESC ] 0;u BEL", "ESC ] 2;T ESC ESC ] 0;u BEL", kNoTitle}}},
    {"CutInsideStringTerminatorEmptyChunk",
     {{"ESC ] 2; ESC", "", kNoTitle, "ESC ] 2; ESC"}, {"", "", kNoTitle, "ESC ] 2; ESC"}, {"\\", "", ""}}},
    {"EmptyChunksKeepTheTail",
     {{"", "", kNoTitle},
      {"ESC ] 0;a", "", kNoTitle, "ESC ] 0;a"},
      {"", "", kNoTitle, "ESC ] 0;a"},
      {"b BEL", "", "ab"},
      {"", "", kNoTitle}}},
    {"TextBeforeNewTailAfterCompletion",
     {{"ESC [ 1", "", kNoTitle, "ESC [ 1"}, {"m text ESC ] 2;x", "text", kNoTitle, "ESC ] 2;x"}}},
};
std::string ChunkCaseName(const ::testing::TestParamInfo<ChunkCase>& info) {
  return std::string(info.param.name);
}
INSTANTIATE_TEST_SUITE_P(TerminalOutputProcessorChunks, TerminalOutputProcessorChunkTest,
                         ::testing::ValuesIn(kChunkCases), ChunkCaseName);

// Feeds `input` in chunks of `chunkSize`, checking the bound after each call; returns the whole text.
std::string FeedChecked(TerminalOutputProcessor& processor, const std::string& input, std::size_t chunkSize,
                        std::size_t bound) {
  std::string text;
  for (std::size_t at = 0; at < input.size(); at += chunkSize) {
    text += processor.Process(std::string_view(input).substr(at, chunkSize)).processedContent;
    EXPECT_LE(processor.pendingSequence().size(), bound);
  }
  return text;
}

TEST(TerminalOutputProcessorBoundTest, NeverTerminatedTitleComesOutAsText) {
  std::string input = "\x1b]0;";
  for (std::size_t i = 0; input.size() < 64 * 1024; ++i) input += static_cast<char>('a' + i % 26);
  for (const std::size_t chunkSize :
       {std::size_t{1}, std::size_t{7}, std::size_t{1000}, kBound, input.size()}) {
    SCOPED_TRACE(Cat({"chunk size ", std::to_string(chunkSize)}));
    TerminalOutputProcessor processor;
    EXPECT_EQ(FeedChecked(processor, input, chunkSize, kBound), input);
    EXPECT_EQ(processor.pendingSequence(), "");
    // Once released, text flows at once, and later sequences are recognised again.
    EXPECT_EQ(processor.Process("more\x07"), Text("more\x07"));
    EXPECT_EQ(processor.Process("\x1b]2;ok\x1b\\end"), Titled("end", "ok"));
  }
}

TEST(TerminalOutputProcessorBoundTest, TextFlowsAsSoonAsTheBoundIsPassed) {
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process(Cat({"x\x1b]0;", std::string(kBound - 4, 'a')})), Text("x"));
  EXPECT_EQ(processor.pendingSequence().size(), kBound);
  EXPECT_EQ(processor.Process("b"), Text(Cat({"\x1b]0;", std::string(kBound - 4, 'a'), "b"})));
  EXPECT_EQ(processor.pendingSequence(), "");
  EXPECT_EQ(processor.Process("cd"), Text("cd"));
}

TEST(TerminalOutputProcessorBoundTest, SequenceOfExactlyTheBoundIsHeldAndCompleted) {
  const std::string title(kBound - 4, 't');
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process("text\x1b]2;" + title), Text("text"));
  EXPECT_EQ(processor.pendingSequence(), "\x1b]2;" + title);
  EXPECT_EQ(processor.Process("\x07"), Titled("", title));
  EXPECT_EQ(processor.pendingSequence(), "");
}

TEST(TerminalOutputProcessorBoundTest, OverlongTitleEndingInEscapeKeepsTheEscapeHeld) {
  const std::string title(kBound, 't');
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process(Cat({"\x1b]0;", title, "\x1b"})), Text(Cat({"\x1b]0;", title})));
  EXPECT_EQ(processor.pendingSequence(), "\x1b");
  EXPECT_EQ(processor.Process("[1mx"), Text("x"));
  TerminalOutputProcessor small(7);
  EXPECT_EQ(small.Process("\x1b]0;ab\x1b"), Text(""));
  EXPECT_EQ(small.pendingSequence(), "\x1b]0;ab\x1b");
  EXPECT_EQ(small.Process("c"), Text("\x1b]0;ab\x1b"
                                     "c"));
  EXPECT_EQ(small.Process("\x1b]0;abc\x1b"), Text("\x1b]0;abc"));
  EXPECT_EQ(small.pendingSequence(), "\x1b");
  EXPECT_EQ(small.Process("\\"), Text(""));
}

TEST(TerminalOutputProcessorBoundTest, LongControlSequenceComesOutAsText) {
  const std::string input = Cat({"\x1b[", std::string(kBound, '1')});
  TerminalOutputProcessor processor;
  EXPECT_EQ(processor.Process(input.substr(0, kBound)), Text(""));
  EXPECT_EQ(processor.Process(input.substr(kBound)), Text(input));
  EXPECT_EQ(processor.Process("m"), Text("m"));
}

TEST(TerminalOutputProcessorBoundTest, CompleteSequencesPastTheBoundAndTheirFinalByteAreTextAsIfCut) {
  const std::string title(kBound - 3, 'T');
  const std::string parameters(kBound - 1, '1');
  TerminalOutputProcessor processor;
  const std::string input = "a\x1b]0;" + title + "\x07" + "b\x1b[" + parameters + "mc";
  EXPECT_EQ(processor.Process(input), Text(input));
}

TEST(TerminalOutputProcessorBoundTest, SmallerBoundForTests) {
  TerminalOutputProcessor processor(8);
  EXPECT_EQ(processor.Process("\x1b]0;abcd"), Text(""));
  EXPECT_EQ(processor.pendingSequence(), "\x1b]0;abcd");
  EXPECT_EQ(processor.Process("e"), Text("\x1b]0;abcde"));
  EXPECT_EQ(processor.Process("\x1b[12345678"), Text("\x1b[12345678"));
  TerminalOutputProcessor tiny(0);  // taken as 1: a lone ESC is still held
  EXPECT_EQ(tiny.Process("a\x1b"), Text("a"));
  EXPECT_EQ(tiny.pendingSequence(), "\x1b");
  EXPECT_EQ(tiny.Process("["), Text("\x1b["));
  EXPECT_EQ(tiny.Process("\x1b[m\x1b]0;t\x07"), Text("\x1b[m\x1b]0;t\x07"));
}

TEST(TerminalOutputProcessorIsolationTest, ProcessorsDoNotShareHeldBackSequences) {
  TerminalOutputProcessor first;
  TerminalOutputProcessor second;
  EXPECT_EQ(first.Process("\x1b[1"), Text(""));
  EXPECT_EQ(second.Process("31m"), Text("31m"));
  EXPECT_EQ(second.pendingSequence(), "");
  EXPECT_EQ(first.Process("m."), Text("."));
}

// Inputs that would take minutes if any sequence were scanned again and again.
TEST(TerminalOutputProcessorLargeInputTest, CostIsLinear) {
  std::string input;
  while (input.size() < 4 * 1024 * 1024) {
    input += "line \x1b[1;31mred\x1b[0m \x1b]0;title\x07";
    input += Cat({"\x1b]0;", std::string(1000, 'x'), "\x1b", "z"});  // broken command: its text stays
    input += Cat({"\x1b[", std::string(1000, '1'), "\n"});           // broken control sequence
  }
  TerminalOutputProcessor whole;
  const ProcessedOutput once = whole.Process(input);
  EXPECT_EQ(once.windowTitle, "title");
  EXPECT_EQ(whole.pendingSequence(), "");

  TerminalOutputProcessor pieces;
  std::string text;
  for (std::size_t at = 0; at < input.size(); at += 3) {
    text += pieces.Process(std::string_view(input).substr(at, 3)).processedContent;
  }
  EXPECT_EQ(text, once.processedContent);

  // A title just under the bound, delivered byte by byte, many times over.
  const std::string title = Cat({"\x1b]2;", std::string(kBound - 5, 'y'), "\x07"});
  TerminalOutputProcessor bytes;
  std::optional<std::string> lastTitle;
  for (int round = 0; round < 64; ++round) {
    for (const char c : title) {
      ProcessedOutput got = bytes.Process(std::string_view(&c, 1));
      EXPECT_EQ(got.processedContent, "");
      if (got.windowTitle) lastTitle = std::move(got.windowTitle);
    }
  }
  EXPECT_EQ(lastTitle, std::string(kBound - 5, 'y'));
}

}  // namespace
}  // namespace snh
