#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/RecordedMessages.h"
#include "output/OutputHandlers.h"

namespace snh {
namespace {

using nlohmann::json;

TEST(Utf8Carry, KeepsACutCharacterForTheNextChunk) {
  const std::string euro = "\xe2\x82\xac";
  for (std::size_t cut = 1; cut < euro.size(); ++cut) {
    Utf8Carry carry;
    EXPECT_EQ(carry.Take("ab" + euro.substr(0, cut)), "ab") << "cut " << cut;
    EXPECT_EQ(carry.Take(euro.substr(cut) + "cd"), euro + "cd") << "cut " << cut;
  }
}

TEST(Utf8Carry, ACharacterSpreadOverThreeChunksArrivesWhole) {
  Utf8Carry carry;
  EXPECT_EQ(carry.Take("\xf0"), "");
  EXPECT_EQ(carry.Take("\x9f\x98"), "");
  EXPECT_EQ(carry.Take("\x80!"), "\xf0\x9f\x98\x80!");
}

TEST(Utf8Carry, IllFormedBytesAreNotHeldBack) {
  Utf8Carry carry;
  EXPECT_EQ(carry.Take("a\xff"), "a\xff");
  EXPECT_EQ(carry.Take("\x80"), "\x80");
}

TEST(StreamOutputHandler, EachChunkIsOneMessageWithTheBytesUnchanged) {
  testing::RecordedMessages output;
  JsonModule module(output);
  StreamOutputHandler handler(module, "stdout");
  handler("ok\r\n");
  handler("line one\nline");
  EXPECT_EQ(output.Messages(), (std::vector<json>{{{"type", "stdout"}, {"outputLine", "ok\r\n"}},
                                                  {{"type", "stdout"}, {"outputLine", "line one\nline"}}}));
}

TEST(StreamOutputHandler, Utf8CutBetweenReadsArrivesIntact) {
  testing::RecordedMessages output;
  JsonModule module(output);
  StreamOutputHandler handler(module, "stderr");
  // 1024-byte reads of 3-byte characters cut one at every read; a NUL inside one is dropped.
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "\xe4\xb8\xad";
  for (std::size_t at = 0; at < text.size(); at += 1024)
    handler(text.substr(at, 512) + '\0' + text.substr(at + 512, 512));
  std::string joined;
  for (const json& message : output.Messages()) {
    EXPECT_EQ(message["type"], "stderr");
    joined += message["outputLine"].get<std::string>();
  }
  EXPECT_EQ(joined, text);
}

TEST(OutputHandlers, AChunkThatOnlyBeginsACharacterSendsNothingButAnEscapeIsRawContent) {
  testing::RecordedMessages output;
  JsonModule module(output);
  StreamOutputHandler stream(module, "stdout");
  PseudoConsoleOutputHandler console(module);
  for (const char* chunk : {"\xf0", "\x9f\x98", "\x80!"}) {
    stream(chunk);
    console(chunk);
  }
  console("\x1b[");
  const std::vector<json> messages = output.Messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0]["outputLine"], "\xf0\x9f\x98\x80!");
  EXPECT_EQ(messages[1]["pseudoConsoleOutput"]["rawContent"], "\xf0\x9f\x98\x80!");
  EXPECT_EQ(messages[2]["pseudoConsoleOutput"], (json{{"rawContent", "\x1b["}, {"processedContent", ""}}));
}

TEST(PseudoConsoleOutputHandler, RawAndProcessedContentAndTitle) {
  testing::RecordedMessages output;
  JsonModule module(output);
  PseudoConsoleOutputHandler handler(module);
  handler(std::string("\x1b[2J\x1b[mhel\0lo\x1b]0;my\0 title\x07", 27));  // only the NULs are dropped
  handler("plain");
  const std::vector<json> messages = output.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], (json{{"type", "pseudo_console_output"},
                               {"pseudoConsoleOutput",
                                {{"rawContent", "\x1b[2J\x1b[mhello\x1b]0;my title\x07"},
                                 {"processedContent", "hello"},
                                 {"windowTitle", "my title"}}}}));
  EXPECT_EQ(messages[1]["pseudoConsoleOutput"],
            (json{{"rawContent", "plain"}, {"processedContent", "plain"}}));
}

TEST(PseudoConsoleOutputHandler, SequenceCutBetweenChunksIsCompletedAndRawContentStaysAsRead) {
  testing::RecordedMessages output;
  JsonModule module(output);
  PseudoConsoleOutputHandler handler(module);
  handler("ab\x1b[1;");
  handler("31mcd");
  const std::vector<json> messages = output.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0]["pseudoConsoleOutput"]["rawContent"], "ab\x1b[1;");
  EXPECT_EQ(messages[0]["pseudoConsoleOutput"]["processedContent"], "ab");
  EXPECT_EQ(messages[1]["pseudoConsoleOutput"]["rawContent"], "31mcd");
  EXPECT_EQ(messages[1]["pseudoConsoleOutput"]["processedContent"], "cd");
}

TEST(PseudoConsoleOutputHandler, HeldBackTailBelongsToOneConnection) {
  testing::RecordedMessages output;
  JsonModule module(output);
  {
    PseudoConsoleOutputHandler first(module);
    first("bye\x1b]0;unfinished");
  }
  PseudoConsoleOutputHandler next(module);
  next("welcome\x07");
  const std::vector<json> messages = output.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1]["pseudoConsoleOutput"]["processedContent"], "welcome\x07");
  EXPECT_FALSE(messages[1]["pseudoConsoleOutput"].contains("windowTitle"));
}

// Escaped, this would pass 1 MiB: it comes in messages under it (RecordedMessages checks) that join up.
TEST(OutputHandlers, LargeChunksAreCutUnderTheBrowsersMessageLimit) {
  std::string chunk;
  while (chunk.size() < kMessageTextBudget - 16) chunk += "\x01\xe2\x82\xac\x1b[1;31mx\x1b]0;t\x07";
  testing::RecordedMessages output;
  JsonModule module(output);
  StreamOutputHandler(module, "stdout")(chunk);
  PseudoConsoleOutputHandler(module, OutputOptions{kMessageTextBudget, false})(chunk);
  std::string line, raw, processed;
  for (const json& message : output.Messages()) {
    line += message.value("outputLine", "");
    raw += message.value("/pseudoConsoleOutput/rawContent"_json_pointer, "");
    processed += message.value("/pseudoConsoleOutput/processedContent"_json_pointer, "");
  }
  EXPECT_GT(output.Messages().size(), 4u);
  EXPECT_TRUE(line == chunk && raw == chunk) << "bytes lost, reordered or split into U+FFFD";
  EXPECT_TRUE(processed == TerminalOutputProcessor().Process(chunk).processedContent);
}

}  // namespace
}  // namespace snh
