#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "codec/CodecTestText.h"
#include "codec/DecodeError.h"
#include "codec/JsonModule.h"

namespace snh {
namespace {

using namespace std::string_literals;

// The code ParseRequest raised, or nothing when the text decoded. Any other exception fails the test.
std::optional<std::uint32_t> DecodeFailure(std::string_view text) {
  try {
    static_cast<void>(ParseRequest(text));
    return std::nullopt;
  } catch (const DecodeError& error) {
    return error.code();
  }
}

Request TypeOnly(std::string type) {
  Request request;
  request.type = std::move(type);
  return request;
}

Request WithInput(std::string type, std::string input) {
  Request request = TypeOnly(std::move(type));
  request.input = std::move(input);
  return request;
}

Request Connect(std::string fileName, std::vector<std::string> arguments) {
  Request request = TypeOnly("connect");
  request.connectParams = ConnectParams{};
  request.connectParams->fileName = std::move(fileName);
  request.connectParams->arguments = std::move(arguments);
  return request;
}

TEST(ParseRequest, DecodesTheWorkedExample) {
  const Request request = ParseRequest(
      R"({"type":"connect","connectParams":{"fileName":"ssh.exe","arguments":["-V"],"extensionVersion":"1.0.0",)"
      R"("mode":"windows_console_with_polling","consoleSize":{"x":120.7,"y":30},"pollingIntervalInSeconds":0.5},)"
      R"("note":"ignored"})");
  Request expected = Connect("ssh.exe", {"-V"});
  expected.connectParams->extensionVersion = "1.0.0";
  expected.connectParams->mode = "windows_console_with_polling";
  expected.connectParams->consoleSize = Coord{120, 30};
  expected.connectParams->pollingIntervalInSeconds = 0.5;
  EXPECT_EQ(request, expected);
}

TEST(ParseRequest, DecodesValidRequests) {
  const struct {
    const char* name;
    std::string text;
    Request expected;
  } cases[] = {
      {"type only", R"({"type":"getVersion"})", TypeOnly("getVersion")},
      {"type in other letter case kept as sent", R"({"type":"GETVERSION"})", TypeOnly("GETVERSION")},
      {"any type string", R"({"type":""})", TypeOnly("")},
      {"whitespace around tokens", " \t\r\n{ \"type\" : \"disconnect\" }\n", TypeOnly("disconnect")},
      {"empty input is present", R"({"type":"stdin","input":""})", WithInput("stdin", "")},
      {"input on any type", R"({"type":"getVersion","input":"x"})", WithInput("getVersion", "x")},
      {"empty arguments", R"({"type":"connect","connectParams":{"fileName":"ssh","arguments":[]}})",
       Connect("ssh", {})},
      {"arguments kept in order",
       R"({"type":"connect","connectParams":{"arguments":["-p","22","host"],"fileName":"ssh"}})",
       Connect("ssh", {"-p", "22", "host"})},
      {"connectParams decoded whatever the type",
       R"({"type":"getVersion","connectParams":{"fileName":"f","arguments":[]}})",
       [] {
         Request request = Connect("f", {});
         request.type = "getVersion";
         return request;
       }()},
      {"unknown keys ignored at every level",
       R"({"a":null,"type":"connect","connectParams":{"b":[{}],"fileName":"f","arguments":[],)"
       R"("consoleSize":{"x":1,"y":2,"z":"?"}},"c":true})",
       [] {
         Request request = Connect("f", {});
         request.connectParams->consoleSize = Coord{1, 2};
         return request;
       }()},
      {"keys are case-sensitive", R"({"type":"stdin","Input":5,"INPUT":null})", TypeOnly("stdin")},
      {"the last of duplicate keys wins", R"({"type":"a","type":"b"})", TypeOnly("b")},
      {"escaped NUL ends type", R"({"type":"getVersion\u0000tail"})", TypeOnly("getVersion")},
      {"escaped NUL ends input", R"({"type":"stdin","input":"ab\u0000cd"})", WithInput("stdin", "ab")},
      {"escaped NUL ends fileName and arguments",
       R"({"type":"connect","connectParams":{"fileName":"ssh\u0000.exe","arguments":["\u0000x","a\u0000"]}})",
       Connect("ssh", {"", "a"})},
      {"escapes decoded", R"({"type":"stdin","input":"\"\\\/\b\f\n\r\t\u00e9"})",
       WithInput("stdin", "\"\\/\b\f\n\r\t\xC3\xA9")},
      {"raw UTF-8 kept", "{\"type\":\"stdin\",\"input\":\"caf\xC3\xA9 \xF0\x9F\x98\x80\"}",
       WithInput("stdin", "caf\xC3\xA9 \xF0\x9F\x98\x80")},
      {"ill-formed UTF-8 becomes U+FFFD",
       "{\"type\":\"stdin\",\"input\":\"a\xFF"
       "b\xE2\x82\"}",
       WithInput("stdin",
                 "a\xEF\xBF\xBD"
                 "b\xEF\xBF\xBD")},
      {"zero bytes after the object", "{\"type\":\"getVersion\"}\0\0\0\0\0\0\0\0"s, TypeOnly("getVersion")},
      {"escaped surrogate pair", R"({"type":"stdin","input":"\ud83d\ude00"})",
       WithInput("stdin", "\xF0\x9F\x98\x80")},
      {"lone high surrogate escape", R"({"type":"stdin","input":"a\ud800b"})",
       WithInput("stdin",
                 "a\xEF\xBF\xBD"
                 "b")},
      {"lone low surrogate escape", R"({"type":"stdin","input":"\uDC00"})",
       WithInput("stdin", "\xEF\xBF\xBD")},
      {"high surrogate escape at the end", R"({"type":"stdin","input":"\ud800"})",
       WithInput("stdin", "\xEF\xBF\xBD")},
      {"two high surrogates, then a low", R"({"type":"stdin","input":"\ud83d\ud83d\ude00"})",
       WithInput("stdin", "\xEF\xBF\xBD\xF0\x9F\x98\x80")},
      {"low then high surrogate", R"({"type":"stdin","input":"\ude00\ud83d"})",
       WithInput("stdin", "\xEF\xBF\xBD\xEF\xBF\xBD")},
      {"escaped backslash is not a surrogate escape", R"({"type":"stdin","input":"\\ud800"})",
       WithInput("stdin", "\\ud800")},
      {"lone surrogate escape in an ignored key", R"({"\ud800":1,"type":"x"})", TypeOnly("x")},
      {"resize's size kept unchecked", R"({"type":"resize","consoleSize":{"x":70000,"y":40.5}})",
       [] {
         Request request = TypeOnly("resize");
         request.consoleSize = RequestedSize{70000, 40.5};
         return request;
       }()},
      {"malformed size left out", R"({"type":"resize","consoleSize":{"x":"1","y":2}})", TypeOnly("resize")},
      {"size member made null by a duplicate", R"({"type":"x","consoleSize":{"x":1,"y":2,"x":null}})",
       TypeOnly("x")},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(ParseRequest(testCase.text), testCase.expected);
  }
}

TEST(ParseRequest, NarrowsConsoleSizeNumbersTo16Bits) {
  const struct {
    const char* number;
    std::int16_t expected;
  } cases[] = {
      {"0", 0},
      {"80.9", 80},
      {"120.7", 120},
      {"-1.5", -1},
      {"-3.2", -3},
      {"-0.5", 0},
      {"1e-300", 0},
      {"32767", 32767},
      {"32768", -32768},
      {"-32769", 32767},
      {"40000", -25536},
      {"65535", -1},
      {"65536", 0},
      {"-65537", -1},
      {"2147483647", -1},
      {"2147483647.9", -1},
      {"-2147483648.9", 0},
      // Outside 32 bits the value is INT32_MIN, whose low 16 bits are 0, not a wrapped remainder.
      {"2147483648", 0},
      {"4294967295", 0},
      {"3000000001", 0},
      {"5000000000", 0},
      {"1e10", 0},
      {"-1e10", 0},
      {"18446744073709551615", 0},
      {"1e300", 0},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.number);
    const std::string text =
        std::string(R"({"type":"connect","connectParams":{"fileName":"f","arguments":[],)") +
        R"("consoleSize":{"x":)" + testCase.number + R"(,"y":)" + testCase.number + "}}}";
    const Request request = ParseRequest(text);
    ASSERT_TRUE(request.connectParams && request.connectParams->consoleSize);
    EXPECT_EQ(*request.connectParams->consoleSize, (Coord{testCase.expected, testCase.expected}));
  }
}

TEST(ParseRequest, TakesAnyNumberAsPollingInterval) {
  const struct {
    const char* number;
    double expected;
  } cases[] = {
      {"0.5", 0.5}, {"2", 2.0}, {"0", 0.0}, {"-1", -1.0}, {"1e300", 1e300}, {"5000000000", 5e9},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.number);
    const Request request =
        ParseRequest(std::string(R"({"type":"connect","connectParams":{"fileName":"f","arguments":[],)") +
                     R"("pollingIntervalInSeconds":)" + testCase.number + "}}");
    ASSERT_TRUE(request.connectParams);
    EXPECT_EQ(request.connectParams->pollingIntervalInSeconds, testCase.expected);
  }
}

constexpr std::uint32_t kFail = DecodeError::kFail;
constexpr std::uint32_t kNotFound = DecodeError::kValueNotFound;
constexpr std::uint32_t kWrongType = DecodeError::kWrongType;

std::string WithParams(const std::string& params) {
  return R"({"type":"connect","connectParams":{)" + params + "}}";
}

TEST(ParseRequest, RefusesTextThatBreaksTheRules) {
  const struct {
    const char* name;
    std::string text;
    std::uint32_t code;
  } cases[] = {
      // Not one JSON object.
      {"empty text", "", kFail},
      {"zero bytes only", "\0\0\0\0"s, kFail},
      {"array", "[]", kFail},
      {"string", "\"text\"", kFail},
      {"number", "42", kFail},
      {"null", "null", kFail},
      {"unterminated object", "{", kFail},
      {"zero byte inside the object", "{\"type\":\"getVersion\"\0}"s, kFail},
      {"text after the object", R"({"type":"a"} x)", kFail},
      {"two objects", R"({"type":"a"}{})", kFail},
      {"trailing comma", R"({"type":"a",})", kFail},
      {"comment", R"({"type":"a"/* c */})", kFail},
      {"single quotes", "{'type':'a'}", kFail},
      {"invalid escape", R"({"type":"\x"})", kFail},
      {"short unicode escape", R"({"type":"\u12"})", kFail},
      {"raw control character in a string", "{\"type\":\"a\tb\"}", kFail},
      {"number beyond double", R"({"type":"a","input":1e400})", kFail},
      // "type" is read first.
      {"empty object", "{}", kNotFound},
      {"type missing, connectParams empty", R"({"connectParams":{}})", kNotFound},
      {"type missing before connectParams of wrong type", R"({"connectParams":5})", kNotFound},
      {"type a number", R"({"type":7})", kWrongType},
      {"type null", R"({"type":null})", kWrongType},
      {"type an array", R"({"type":["getVersion"]})", kWrongType},
      // connectParams, with "arguments" looked up before "fileName".
      {"connectParams null", R"({"type":"connect","connectParams":null})", kWrongType},
      {"connectParams an array", R"({"type":"connect","connectParams":[]})", kWrongType},
      {"connectParams empty", WithParams(""), kNotFound},
      {"arguments missing", WithParams(R"("fileName":"x")"), kNotFound},
      {"fileName missing", WithParams(R"("arguments":[])"), kNotFound},
      {"arguments of wrong type, fileName missing", WithParams(R"("arguments":5)"), kWrongType},
      {"fileName missing before a bad element", WithParams(R"("arguments":[1])"), kNotFound},
      {"arguments a string", WithParams(R"("fileName":"f","arguments":"-v")"), kWrongType},
      {"an argument not a string", WithParams(R"("fileName":"f","arguments":["-v",1])"), kWrongType},
      {"an argument null", WithParams(R"("fileName":"f","arguments":[null])"), kWrongType},
      {"fileName a number", WithParams(R"("fileName":5,"arguments":[])"), kWrongType},
      {"fileName null", WithParams(R"("fileName":null,"arguments":[])"), kWrongType},
      {"connectParams checked for getVersion too",
       R"({"type":"getVersion","connectParams":{"fileName":"x"}})", kNotFound},
      // Optional keys inside connectParams: present means well typed.
      {"extensionVersion a number", WithParams(R"("fileName":"f","arguments":[],"extensionVersion":1)"),
       kWrongType},
      {"mode null", WithParams(R"("fileName":"f","arguments":[],"mode":null)"), kWrongType},
      {"consoleSize null", WithParams(R"("fileName":"f","arguments":[],"consoleSize":null)"), kWrongType},
      {"consoleSize an array", WithParams(R"("fileName":"f","arguments":[],"consoleSize":[80,25])"),
       kWrongType},
      {"consoleSize without y", WithParams(R"("fileName":"f","arguments":[],"consoleSize":{"x":80})"),
       kNotFound},
      {"consoleSize without x", WithParams(R"("fileName":"f","arguments":[],"consoleSize":{"y":80})"),
       kNotFound},
      {"consoleSize x a string",
       WithParams(R"("fileName":"f","arguments":[],"consoleSize":{"x":"80","y":1})"), kWrongType},
      {"consoleSize y a boolean",
       WithParams(R"("fileName":"f","arguments":[],"consoleSize":{"x":80,"y":true})"), kWrongType},
      {"pollingIntervalInSeconds a string",
       WithParams(R"("fileName":"f","arguments":[],"pollingIntervalInSeconds":"0.5")"), kWrongType},
      {"pollingIntervalInSeconds null",
       WithParams(R"("fileName":"f","arguments":[],"pollingIntervalInSeconds":null)"), kWrongType},
      // input.
      {"input a number", R"({"type":"stdin","input":5})", kWrongType},
      {"input null", R"({"type":"stdin","input":null})", kWrongType},
      {"input an object", R"({"type":"stdin","input":{}})", kWrongType},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(DecodeFailure(testCase.text), testCase.code);
  }
}

// A request whose "connectParams" carries an ignored key nested `depth` levels in all.
std::string NestedRequest(int depth) {
  const int arrays = depth - 2;
  return R"({"type":"connect","connectParams":{"fileName":"f","arguments":[],"deep":)" +
         std::string(arrays, '[') + std::string(arrays, ']') + "}}";
}

TEST(ParseRequest, BoundsNesting) {
  EXPECT_EQ(DecodeFailure(NestedRequest(kMaxRequestNestingDepth)), std::nullopt);
  EXPECT_EQ(DecodeFailure(NestedRequest(kMaxRequestNestingDepth + 1)), kFail);
  EXPECT_EQ(DecodeFailure(R"({"type":"a","deep":)" + std::string(1'000'000, '[')), kFail);
  EXPECT_EQ(DecodeFailure(NestedRequest(1'000'000)), kFail);
  // Brackets inside strings are text, not nesting.
  EXPECT_EQ(ParseRequest(R"({"type":")" + std::string(10'000, '[') + "\"}").type, std::string(10'000, '['));
}

// A decoder that rescans a container as each object in it closes takes hours on this.
TEST(ParseRequest, DecodesMegabytesOfObjectsInOnePass) {
  std::string padding = std::string(500, '[') + R"({"a":{}})" + std::string(500, ']');
  while (padding.size() < (4u << 20)) padding += ",{}";
  EXPECT_EQ(ParseRequest(R"({"type":"stdin","pad":[)" + padding + R"(],"input":"x"})"),
            WithInput("stdin", "x"));
}

TEST(ParseRequest, RaisesOnlyDecodeErrorsOnMangledRequests) {
  const std::string valid =
      R"({"type":"connect","connectParams":{"fileName":"ssh.exe","arguments":["-V","\u00e9"],)"
      R"("mode":"pseudo_console","consoleSize":{"x":120.7,"y":30},"pollingIntervalInSeconds":0.5},)"
      R"("input":"a\"b\ud83d\ude00"})";
  static constexpr char kReplacements[] = {'\0', '"', '\\', '{', '}', '[',    ']',
                                           ':',  ',', 'u',  '1', 'e', '\xC3', '\xFF'};
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> position(0, valid.size() - 1);
  std::uniform_int_distribution<std::size_t> replacement(0, std::size(kReplacements) - 1);
  int decoded = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string text = valid;
    for (int edits = 1 + i % 3; edits > 0; --edits)
      text[position(random)] = kReplacements[replacement(random)];
    if (!DecodeFailure(text)) ++decoded;
  }
  // Both outcomes occur, and nothing but DecodeError escapes.
  EXPECT_GT(decoded, 0);
  EXPECT_LT(decoded, 3000);
}

}  // namespace
}  // namespace snh
