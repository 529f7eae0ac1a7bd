#include <gtest/gtest.h>

#include <string>

#include "codec/CodecTestText.h"
#include "codec/JsonModule.h"
#include "session/ScreenReading.h"

namespace snh {
namespace {

TEST(ScreenReading, CellsBetweenCountsRowAfterRow) {
  EXPECT_EQ(CellsBetween({0, 0}, {10, 1}, 50), 60);
  EXPECT_EQ(CellsBetween({0, 0}, {0, 0}, 50), 0);
  EXPECT_EQ(CellsBetween({0, 0}, {49, 29}, 50), 1499);
  EXPECT_EQ(CellsBetween({0, 0}, {79, 149}, 80), 11999);
}

TEST(ScreenReading, AdvanceCellsWrapsAtTheRowEnd) {
  EXPECT_EQ(AdvanceCells({0, 0}, 60, 50), (Coord{10, 1}));
  EXPECT_EQ(AdvanceCells({49, 0}, 1, 50), (Coord{0, 1}));
  EXPECT_EQ(AdvanceCells({3, 2}, 0, 50), (Coord{3, 2}));
}

TEST(ScreenReading, PollingPauseNeverSpins) {
  for (const double seconds : {0.0, -1.0, 0.0005, 0.009}) EXPECT_EQ(PollingPause(seconds).count(), 10);
  EXPECT_EQ(PollingPause(0.25).count(), 250);
}

TEST(ScreenReading, OneReadIsOneMessageWithTheCellsAsRead) {
  // "abc" and a line end, then "login as: ": 60 cells on a 50-wide screen, rows not separated.
  const std::u16string cells = u"abc" + std::u16string(47, u' ') + u"login as: ";
  const auto messages = SplitConsoleRead({50, 30}, {0, 0}, {10, 1}, cells);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].consoleSize, (Coord{50, 30}));
  EXPECT_EQ(messages[0].startPosition, (Coord{0, 0}));
  EXPECT_EQ(messages[0].endPosition, (Coord{10, 1}));
  EXPECT_EQ(messages[0].characterContent, "abc" + std::string(47, ' ') + "login as: ");
}

TEST(ScreenReading, TextEndsAtTheFirstNul) {
  const auto messages = SplitConsoleRead({50, 30}, {0, 0}, {6, 0}, std::u16string(u"ab\0cd!", 6));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].characterContent, "ab");
  EXPECT_EQ(messages[0].endPosition, (Coord{6, 0}));
}

TEST(ScreenReading, NonAsciiCellsBecomeUtf8) {
  const auto messages = SplitConsoleRead({50, 30}, {0, 0}, {4, 0}, u"\u00e9\u4e2d\U0001F600");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].characterContent, "\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80");
}

TEST(ScreenReading, LargeReadIsSplitWithPositionsThatChain) {
  // 10 rows of 7 cells, at most 16 cells a message.
  std::u16string cells;
  for (int i = 0; i < 70; ++i) cells.push_back(static_cast<char16_t>(u'a' + i % 26));
  const auto messages = SplitConsoleRead({7, 30}, {0, 0}, {0, 10}, cells, 16);
  ASSERT_EQ(messages.size(), 5u);
  std::string joined;
  Coord expectedStart{0, 0};
  for (const ConsoleOutput& message : messages) {
    EXPECT_EQ(message.startPosition, expectedStart);
    EXPECT_LE(message.characterContent.size(), 16u);
    joined += message.characterContent;
    expectedStart = message.endPosition;
  }
  EXPECT_EQ(messages[1].startPosition, (Coord{2, 2}));
  EXPECT_EQ(messages.back().endPosition, (Coord{0, 10}));
  std::string expected;
  for (char16_t c : cells) expected.push_back(static_cast<char>(c));
  EXPECT_EQ(joined, expected);
}

TEST(ScreenReading, SplitNeverCutsASurrogatePair) {
  // The pair would straddle the 4-cell boundary.
  const std::u16string cells = u"abc\U0001F600defg";
  const auto messages = SplitConsoleRead({50, 30}, {0, 0}, {9, 0}, cells, 4);
  std::string joined;
  for (const ConsoleOutput& message : messages) {
    EXPECT_EQ(message.characterContent.find("\xef\xbf\xbd"), std::string::npos);
    joined += message.characterContent;
  }
  EXPECT_EQ(joined,
            "abc\xf0\x9f\x98\x80"
            "defg");
}

TEST(ScreenReading, DefaultSplitKeepsEveryMessageUnderTheBrowserLimit) {
  // Browsers close the port on a host message larger than this.
  constexpr std::size_t kMaxOutgoingMessageBytes = 1024 * 1024;
  // Worst case for JSON: control characters, six bytes each once escaped.
  const std::u16string cells(300000, u'\x01');
  const auto messages = SplitConsoleRead({1000, 300}, {0, 0}, {0, 300}, cells);
  EXPECT_EQ(messages.size(), 3u);
  for (const ConsoleOutput& message : messages) {
    Response response;
    response.type = "console_output";
    response.consoleOutput = message;
    EXPECT_LE(SerializeResponse(response).size(), kMaxOutgoingMessageBytes);
  }
}

}  // namespace
}  // namespace snh
