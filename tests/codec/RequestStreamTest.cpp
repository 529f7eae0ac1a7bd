#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "codec/ByteSource.h"
#include "codec/RequestStream.h"

namespace snh {
namespace {

// What the parser reads of a text, and the value of its last number.
struct Reading {
  std::string seen;
  double number;
};

std::optional<Reading> Read(std::string_view text) {
  TextSource source(text);
  RequestStream stream(source);
  Reading reading{{}, 0};
  while (stream.Peek() != '\0') reading.seen += stream.Take();
  if (stream.Failed()) return std::nullopt;
  reading.number = stream.Number();
  return reading;
}

TEST(RequestStream, ReadsEachNumberWholeAsStrtodDoes) {
  const struct {
    const char* name;
    std::string text;
    std::optional<Reading> expected;
  } cases[] = {
      {"byte-order mark skipped", "\xEF\xBB\xBF[7]", Reading{"[0]", 7}},
      {"part of a mark fails", "\xEF\xBB[7]", std::nullopt},
      {"minus zero integer is zero", "[-0]", Reading{"[0]", 0.0}},
      {"minus zero fraction keeps its sign", "[-0.0]", Reading{"[0]", -0.0}},
      {"zero with an exponent past any double", "[0e400]", Reading{"[0]", 0}},
      {"digits past any double scaled back", "[1" + std::string(400, '0') + "e-300]", Reading{"[0]", 1e100}},
      {"rounded correctly", "[2.2250738585072011e-308]", Reading{"[0]", 2.2250738585072011e-308}},
      {"underflow is zero", "[1e-400]", Reading{"[0]", 0}},
      {"integer past 64 bits", "[18446744073709551616]", Reading{"[0]", 18446744073709551616.0}},
      {"overflow fails", "[1e400]", std::nullopt},
      {"a point after a number fails", "[1.5.5]", std::nullopt},
      {"a digit after a leading zero fails", "[01]", std::nullopt},
      {"a bare minus fails", "[-]", std::nullopt},
      {"numbers in strings are text", R"(["1\"2",3])", Reading{R"(["1\"2",0])", 3}},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    const std::optional<Reading> reading = Read(testCase.text);
    ASSERT_EQ(reading.has_value(), testCase.expected.has_value());
    if (!reading) continue;
    EXPECT_EQ(reading->seen, testCase.expected->seen);
    EXPECT_EQ(reading->number, testCase.expected->number);
    EXPECT_EQ(std::signbit(reading->number), std::signbit(testCase.expected->number));
  }
}

}  // namespace
}  // namespace snh
