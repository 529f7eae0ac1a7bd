#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "codec/JsonText.h"

namespace snh {
namespace {

// nlohmann/json's serializer is the reference: the host's text must be the same, byte for byte.
std::string Reference(const std::string& text) { return nlohmann::json(text).dump(); }

std::string Written(const std::string& text) {
  std::string out = "prefix:";
  AppendJsonString(out, text);
  return out;
}

TEST(AppendJsonString, MatchesTheJsonLibraryOnEveryAsciiByte) {
  for (int byte = 1; byte < 0x80; ++byte) {
    const std::string text(1, static_cast<char>(byte));
    SCOPED_TRACE(byte);
    EXPECT_EQ(Written(text), "prefix:" + Reference(text));
  }
}

// The scan skips 8 bytes at a time; a byte to escape must be found at every offset of every word, and
// in the short tail after the last whole word.
TEST(AppendJsonString, FindsAnEscapeAtEveryPositionOfEveryLength) {
  for (const char special : {'"', '\\', '\n', '\x1b', '\x01', '\x1f'}) {
    for (std::size_t length = 1; length <= 40; ++length) {
      for (std::size_t at = 0; at < length; ++at) {
        std::string text(length, 'a');
        text[at] = special;
        SCOPED_TRACE(testing::Message() << "byte " << int(special) << " at " << at << " of " << length);
        EXPECT_EQ(Written(text), "prefix:" + Reference(text));
      }
    }
  }
}

TEST(AppendJsonString, MatchesTheJsonLibraryOnMixedText) {
  const std::vector<std::string> texts = {
      "",
      " !#$%&'()*+,-./0123456789:;<=>?@AZ[]^_`az{|}~\x7f",  // nothing to escape, DEL included
      "\x1b[1;31mred\x1b[0m\r\n\ttab\b\f\"quoted\" back\\slash",
      "Grüße, Ελληνικά, 日本語, 🙂 \u2028 and \xef\xbf\xbd",
      std::string(1000, 'x') + "\x1b]0;title\x07" + std::string(23, 'y'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Written(text), "prefix:" + Reference(text));
  }
}

TEST(AppendJsonInteger, WritesDecimalDigits) {
  const struct {
    std::int64_t value;
    const char* text;
  } cases[] = {{0, "0"},
               {50, "50"},
               {-32768, "-32768"},
               {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"}};
  for (const auto& testCase : cases) {
    std::string out;
    AppendJsonInteger(out, testCase.value);
    EXPECT_EQ(out, testCase.text);
  }
}

}  // namespace
}  // namespace snh
