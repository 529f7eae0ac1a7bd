#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "client/KeyboardInput.h"

namespace snh::client {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

nlohmann::json Request(const std::string& text) { return nlohmann::json::parse(StdinRequest(text)); }

// Everything sent for `reads`, with the end of input.
std::string SendAll(KeyboardOptions options, const std::vector<std::string>& reads, bool* ended = nullptr) {
  KeyboardInput keyboard(options);
  std::string sent;
  for (const std::string& read : reads) {
    const KeyboardChunk chunk = keyboard.Feed(read);
    sent += chunk.text;
    if (ended != nullptr && (*ended = chunk.end)) return sent;  // the escape: no end of input
  }
  return sent + keyboard.Finish();
}

TEST(KeyboardInputTest, CharactersStayWholeAcrossReads) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a é € 😀 z
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    KeyboardInput keyboard({});
    const KeyboardChunk first = keyboard.Feed(text.substr(0, cut));
    const KeyboardChunk second = keyboard.Feed(text.substr(cut));
    SCOPED_TRACE(cut);
    // Each request holds whole characters only, and together they are the text.
    EXPECT_EQ(StdinRequest(first.text).find(kReplacement), std::string::npos);
    EXPECT_EQ(StdinRequest(second.text).find(kReplacement), std::string::npos);
    EXPECT_EQ(first.text + second.text, text);
  }
}

TEST(KeyboardInputTest, OneByteAtATimeHoldsBackOnlyTheUnfinishedCharacter) {
  KeyboardInput keyboard({});
  EXPECT_EQ(keyboard.Feed("\xF0").text, "");
  EXPECT_EQ(keyboard.Feed("\x9F").text, "");
  EXPECT_EQ(keyboard.Feed("\x98").text, "");
  EXPECT_EQ(keyboard.Feed("\x80").text, "\xF0\x9F\x98\x80");
}

TEST(KeyboardInputTest, BytesThatAreNotUtf8AreSentAndBecomeReplacementCharacters) {
  EXPECT_EQ(SendAll({}, {"\xFF"
                         "a"}),
            "\xFF"
            "a");
  EXPECT_EQ(Request("\xFF"
                    "a"),
            (nlohmann::json{{"type", "stdin"},
                            {"input",
                             "\xEF\xBF\xBD"
                             "a"}}));
  // A character cut short by the end of input is still sent.
  EXPECT_EQ(SendAll({}, {"x\xE2\x82"}), "x\xE2\x82");
  EXPECT_EQ(Request("x\xE2\x82")["input"], "x\xEF\xBF\xBD");
}

TEST(KeyboardInputTest, StdinRequestKeepsControlCharacters) {
  EXPECT_EQ(Request("\x03\r\x1b[A\t"), (nlohmann::json{{"type", "stdin"}, {"input", "\x03\r\x1b[A\t"}}));
}

TEST(KeyboardInputTest, NulBytesAreDroppedSoTheRestStillArrives) {
  EXPECT_EQ(SendAll({}, {std::string("a\0b", 3)}), "ab");
}

TEST(KeyboardInputTest, EscapeWorksAtTheStartOfALineOnly) {
  const std::vector<std::tuple<std::optional<char>, std::vector<std::string>, std::string, bool>> rows = {
      {'~', {"ls\r~.more"}, "ls\r", true},
      {'~', {"ls\n", "~", "."}, "ls\n", true},
      {'~', {"vi a~.b\r"}, "vi a~.b\r", false},
      {'~', {"~~."}, "~.", false},
      {'~', {"~", "~", "\r~x"}, "~\r~x", false},
      {'~', {"a\r~"}, "a\r~", false},  // a lone escape at the end of input is sent
      {'\x1d', {"\x1d]", "\r\x1d."}, "\x1d]\r", true},
      {std::nullopt, {"~.\r~."}, "~.\r~.", false},
  };
  for (const auto& [escape, reads, sent, ends] : rows) {
    SCOPED_TRACE(::testing::PrintToString(reads));
    bool ended = false;
    EXPECT_EQ(SendAll({.escapeCharacter = escape}, reads, &ended), sent);
    EXPECT_EQ(ended, ends);
  }
}

TEST(KeyboardInputTest, PipedLineEndsBecomeReturnAndTheEndCtrlD) {
  struct Row {
    std::vector<std::string> reads;
    std::string sent;
  };
  const std::vector<Row> rows = {
      {{"echo hi\nexit\n"}, "echo hi\rexit\r\x04"},
      {{"echo hi\r\nexit\r\n"}, "echo hi\rexit\r\x04"},
      {{"echo hi\r", "\nexit\r", "\n"}, "echo hi\rexit\r\x04"},
      {{"a\n\nb"}, "a\r\rb\x04\x04"},
      {{"a\r\rb"}, "a\r\rb\x04\x04"},
      {{"a\n\r\nb"}, "a\r\rb\x04\x04"},
      {{}, "\x04"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.reads));
    EXPECT_EQ(SendAll({.escapeCharacter = std::nullopt, .lineEndsAsReturn = true, .endWithEndOfFile = true},
                      row.reads),
              row.sent);
    // Without translation the bytes go as they are, and nothing follows them.
    std::string joined;
    for (const std::string& read : row.reads) joined += read;
    EXPECT_EQ(SendAll({}, row.reads), joined);
  }
}

}  // namespace
}  // namespace snh::client
