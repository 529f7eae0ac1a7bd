#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "codec/CodecTestText.h"
#include "codec/JsonModule.h"
#include "codec/Utf.h"

namespace snh {
namespace {

using namespace std::string_literals;

Response Message(std::string type) {
  Response response;
  response.type = std::move(type);
  return response;
}

Response OutputLine(std::string type, std::string text) {
  Response response = Message(std::move(type));
  response.outputLine = std::move(text);
  return response;
}

Response PseudoConsole(std::string raw, std::string processed, std::optional<std::string> title) {
  Response response = Message("pseudo_console_output");
  response.pseudoConsoleOutput = PseudoConsoleOutput{std::move(raw), std::move(processed), std::move(title)};
  return response;
}

Response Console(Coord size, Coord start, Coord end, std::string text) {
  Response response = Message("console_output");
  response.consoleOutput = ConsoleOutput{size, start, end, std::move(text)};
  return response;
}

TEST(SerializeResponse, WritesTheExpectedText) {
  const struct {
    const char* name;
    Response response;
    std::string json;
  } cases[] = {
      {"version reply",
       [] {
         Response response = Message("version");
         response.version = "2.0.0.0";
         return response;
       }(),
       R"({"type":"version","version":"2.0.0.0"})"},
      {"no optional member", Message("disconnected"), R"({"type":"disconnected"})"},
      {"empty type", Message(""), R"({"type":""})"},
      {"error", ErrorResponse(texts::kNotConnected), R"({"type":"error","error":"Not connected"})"},
      {"present empty string", ErrorResponse(""), R"({"type":"error","error":""})"},
      {"stdout", OutputLine("stdout", "hello"), R"({"type":"stdout","outputLine":"hello"})"},
      {"stderr", OutputLine("stderr", "denied"), R"({"type":"stderr","outputLine":"denied"})"},
      {"console output", Console({50, 30}, {0, 0}, {5, 0}, "hello"),
       R"({"type":"console_output","consoleOutput":{"consoleSize":{"x":50,"y":30},"startPosition":{"x":0,"y":0},)"
       R"("endPosition":{"x":5,"y":0},"characterContent":"hello"}})"},
      {"coordinates at the 16-bit limits", Console({-32768, 32767}, {-1, 0}, {1, -2}, ""),
       R"({"type":"console_output","consoleOutput":{"consoleSize":{"x":-32768,"y":32767},)"
       R"("startPosition":{"x":-1,"y":0},"endPosition":{"x":1,"y":-2},"characterContent":""}})"},
      {"pseudo console output without title", PseudoConsole("\x1B[2Jhi", "hi", std::nullopt),
       R"({"type":"pseudo_console_output","pseudoConsoleOutput":{"rawContent":"\u001b[2Jhi","processedContent":"hi"}})"},
      {"pseudo console output with title", PseudoConsole("", "", "ssh host"),
       R"({"type":"pseudo_console_output","pseudoConsoleOutput":{"rawContent":"","processedContent":"",)"
       R"("windowTitle":"ssh host"}})"},
      {"every member, in order",
       [] {
         Response response = Console({1, 2}, {3, 4}, {5, 6}, "c");
         response.type = "t";
         response.version = "v";
         response.error = "e";
         response.exitCode = 4294967295;
         response.outputLine = "o";
         response.pseudoConsoleOutput = PseudoConsoleOutput{"r", "p", "w"};
         response.capabilities = {"resize", "\xFF"};
         return response;
       }(),
       R"({"type":"t","version":"v","error":"e","exitCode":4294967295,"outputLine":"o","consoleOutput":{"consoleSize":{"x":1,"y":2},)"
       R"("startPosition":{"x":3,"y":4},"endPosition":{"x":5,"y":6},"characterContent":"c"},)"
       R"("pseudoConsoleOutput":{"rawContent":"r","processedContent":"p","windowTitle":"w"},)"
       "\"capabilities\":[\"resize\",\"\xEF\xBF\xBD\"]}"},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(SerializeResponse(testCase.response), testCase.json);
  }
}

struct StringField {
  const char* pointer;
  std::function<void(Response&, std::string)> set;
};

const StringField kStringFields[] = {
    {"/type", [](Response& r, std::string s) { r.type = std::move(s); }},
    {"/version", [](Response& r, std::string s) { r.version = std::move(s); }},
    {"/error", [](Response& r, std::string s) { r.error = std::move(s); }},
    {"/outputLine", [](Response& r, std::string s) { r.outputLine = std::move(s); }},
    {"/consoleOutput/characterContent",
     [](Response& r, std::string s) {
       r.consoleOutput = ConsoleOutput{{}, {}, {}, std::move(s)};
     }},
    {"/pseudoConsoleOutput/rawContent",
     [](Response& r, std::string s) {
       r.pseudoConsoleOutput = PseudoConsoleOutput{std::move(s), "", {}};
     }},
    {"/pseudoConsoleOutput/processedContent",
     [](Response& r, std::string s) {
       r.pseudoConsoleOutput = PseudoConsoleOutput{"", std::move(s), {}};
     }},
    {"/pseudoConsoleOutput/windowTitle",
     [](Response& r, std::string s) {
       r.pseudoConsoleOutput = PseudoConsoleOutput{"", "", std::move(s)};
     }},
};

TEST(SerializeResponse, EveryStringParsesBackAsItsSanitizedText) {
  const struct {
    const char* name;
    std::string text;
    std::string parsedBack;
  } cases[] = {
      {"empty", "", ""},
      {"quote, backslash, tab, newline", "a\"b\\c\td\ne", "a\"b\\c\td\ne"},
      {"control characters", "\x01\x1B[0m\x7F\r", "\x01\x1B[0m\x7F\r"},
      {"multi-byte characters", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"cut at NUL", "ab\0cd"s, "ab"},
      {"invalid byte",
       "a\xFF"
       "b",
       "a\xEF\xBF\xBD"
       "b"},
      {"surrogate encoded in UTF-8", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"character cut at the end", "abc\xE2\x82", "abc\xEF\xBF\xBD"},
      {"rest of a character at the start",
       "\xAC"
       "def",
       "\xEF\xBF\xBD"
       "def"},
  };
  for (const auto& field : kStringFields) {
    for (const auto& testCase : cases) {
      SCOPED_TRACE(std::string(field.pointer) + ": " + testCase.name);
      Response response = Message("t");
      field.set(response, testCase.text);
      const std::string json = SerializeResponse(response);
      EXPECT_EQ(SanitizeUtf8(json), json);
      const auto parsed = nlohmann::json::parse(json);
      EXPECT_EQ(parsed.at(nlohmann::json::json_pointer(field.pointer)), testCase.parsedBack);
    }
  }
}

TEST(SerializeResponse, EveryByteValueGivesValidJson) {
  std::string allBytes;
  for (int byte = 1; byte < 256; ++byte) allBytes.push_back(static_cast<char>(byte));
  const std::string json = SerializeResponse(OutputLine("stdout", allBytes));
  EXPECT_EQ(SanitizeUtf8(json), json);
  EXPECT_EQ(nlohmann::json::parse(json).at("outputLine"), SanitizeUtf8(allBytes));
}

TEST(SerializeResponse, KeepsNothingOfACharacterSplitBetweenMessages) {
  // The euro sign E2 82 AC cut after two bytes: each message replaces its own part.
  EXPECT_EQ(SerializeResponse(OutputLine("stdout", "price: 5 \xE2\x82")),
            "{\"type\":\"stdout\",\"outputLine\":\"price: 5 \xEF\xBF\xBD\"}");
  EXPECT_EQ(SerializeResponse(OutputLine("stdout", "\xAC total")),
            "{\"type\":\"stdout\",\"outputLine\":\"\xEF\xBF\xBD total\"}");
}

}  // namespace
}  // namespace snh
