#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "codec/JsonText.h"
#include "codec/Utf.h"

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

// Any text: the library's escapes of the sanitized text. The first 16-byte blocks are copied whole and
// cut at their first special byte, so each special byte is tried at every offset around two blocks, and
// behind a run of escapes that outgrows the room made up front.
TEST(AppendJsonText, EscapesTheSanitizedTextAsTheJsonLibrary) {
  using namespace std::string_literals;
  const std::string specials[] = {"\"",   "\\",       "\r\n",     "\x01",
                                  "\x1f", "\x7f",     "\xc3\xa9", "\xf0\x9f\x99\x82",
                                  "\xff", "\xe2\x82", "\0"s,      "\xed\xa0\x80"};
  for (const std::string& prefix : {std::string(), std::string(40, '\n')}) {
    for (const std::string& special : specials) {
      for (std::size_t length = 0; length <= 40; ++length) {
        for (std::size_t at = 0; at <= length; ++at) {
          std::string text = prefix + std::string(length, 'a');
          text.insert(prefix.size() + at, special);
          std::string out = "prefix:";
          AppendJsonText(out, text);
          SCOPED_TRACE(testing::Message() << "special " << testing::PrintToString(special) << " at " << at
                                          << " of " << length << " behind " << prefix.size());
          ASSERT_EQ(out, "prefix:" + Reference(SanitizeUtf8(text)));
        }
      }
    }
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
