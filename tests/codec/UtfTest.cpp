#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/Utf.h"

namespace snh {
namespace {

using namespace std::string_literals;

struct Utf8ToUtf16Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

// Ill-formed input decodes to one U+FFFD per maximal subpart, as browsers and Unicode ch. 3 do.
const std::vector<Utf8ToUtf16Case> kUtf8ToUtf16Cases = {
    {"empty", "", u""},
    {"ascii", "ssh -V", u"ssh -V"},
    {"two bytes", "caf\xC3\xA9", u"caf\u00E9"},
    {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
    {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"smallest two-byte", "\xC2\x80", u"\u0080"},
    {"largest two-byte", "\xDF\xBF", u"\u07FF"},
    {"smallest three-byte", "\xE0\xA0\x80", u"\u0800"},
    {"below surrogates", "\xED\x9F\xBF", u"\uD7FF"},
    {"above surrogates", "\xEE\x80\x80", u"\uE000"},
    {"largest three-byte", "\xEF\xBF\xBF", u"\uFFFF"},
    {"smallest four-byte", "\xF0\x90\x80\x80", u"\U00010000"},
    {"largest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"stops at NUL", "ab\0cd"s, u"ab"},
    {"leading NUL", "\0ab"s, u""},
    {"NUL cuts a character", "\xC3\0\xA9"s, u"\uFFFD"},
    {"lone continuation", "a\x80z", u"a\uFFFDz"},
    {"two continuations", "\x80\xBF", u"\uFFFD\uFFFD"},
    {"overlong two-byte C0", "\xC0\x80", u"\uFFFD\uFFFD"},
    {"overlong two-byte C1", "\xC1\xBF", u"\uFFFD\uFFFD"},
    {"overlong three-byte", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"overlong three-byte top", "\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},
    {"overlong four-byte", "\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"overlong four-byte top", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"high surrogate in UTF-8", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"low surrogate in UTF-8", "\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"lead F5", "\xF5\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"bytes FE FF", "\xFE\xFF", u"\uFFFD\uFFFD"},
    {"truncated two-byte at end", "a\xC3", u"a\uFFFD"},
    {"truncated three-byte at end", "\xE2\x82", u"\uFFFD"},
    {"truncated four-byte at end", "\xF0\x9F\x98", u"\uFFFD"},
    {"truncated three-byte before ascii",
     "\xE2\x82"
     "A",
     u"\uFFFDA"},
    {"truncated four-byte before ascii",
     "\xF0\x9F"
     "A",
     u"\uFFFDA"},
    {"truncated before a new lead", "\xF0\x9F\xE2\x82\xAC", u"\uFFFD\u20AC"},
    {"unicode table 3-8", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
     u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
};

TEST(UtfToUtf16, ConvertsAndReplacesMaximalSubparts) {
  for (const auto& testCase : kUtf8ToUtf16Cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(ToUtf16(testCase.utf8), testCase.utf16);
  }
}

TEST(UtfSanitizeUtf8, MatchesTheRoundTripThroughUtf16) {
  for (const auto& testCase : kUtf8ToUtf16Cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(SanitizeUtf8(testCase.utf8), ToUtf8(testCase.utf16));
  }
}

TEST(UtfToUtf8, ConvertsPairsAndReplacesLoneSurrogates) {
  const struct {
    const char* name;
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {"empty", u"", ""},
      {"ascii", u"hello", "hello"},
      {"two bytes", u"\u00E9", "\xC3\xA9"},
      {"three bytes", u"\u20AC", "\xE2\x82\xAC"},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"largest code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {"stops at NUL", u"ab\0cd"s, "ab"},
      {"lone high at end", u"a\xD83D"s, "a\xEF\xBF\xBD"},
      {"lone high before ascii", u"\xD83Dz"s, "\xEF\xBF\xBDz"},
      {"lone low", u"\xDE00"s, "\xEF\xBF\xBD"},
      {"low before high", u"\xDE00\xD83D"s, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"high, then a pair", u"\xD83D\xD83D\xDE00"s, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(ToUtf8(testCase.utf16), testCase.utf8);
  }
}

// Random bytes, weighted toward the bytes that make UTF-8 interesting.
std::string RandomBytes(std::mt19937& random, std::size_t length) {
  static constexpr unsigned char kInteresting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                                   0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED,
                                                   0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kInteresting) - 1);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) {
    bytes.push_back(static_cast<char>(i % 3 == 0 ? anyByte(random) : kInteresting[pick(random)]));
  }
  return bytes;
}

TEST(UtfSanitizeUtf8, MatchesTheRoundTripOnRandomBytes) {
  std::mt19937 random(20240611);
  for (int i = 0; i < 5000; ++i) {
    const std::string bytes = RandomBytes(random, static_cast<std::size_t>(i % 41));
    const std::string sanitized = SanitizeUtf8(bytes);
    ASSERT_EQ(sanitized, ToUtf8(ToUtf16(bytes))) << testing::PrintToString(bytes);
    ASSERT_EQ(SanitizeUtf8(sanitized), sanitized);
  }
}

TEST(UtfSanitizeUtf8, ReplacesAnIllFormedByteAtEveryOffsetOfAnAsciiRun) {
  // Crosses the word-sized steps of the ASCII scan.
  for (std::size_t offset = 0; offset < 20; ++offset) {
    SCOPED_TRACE(offset);
    std::string text(20, 'x');
    text[offset] = '\x80';
    std::string expected(20, 'x');
    expected.replace(offset, 1, "\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8(text), expected);
  }
}

TEST(UtfSanitizeUtf8, KeepsValidTextUnchanged) {
  const std::string text =
      "plain ascii that runs past a machine word, caf\xC3\xA9, \xE2\x82\xAC 5, \xF0\x9F\x98\x80, "
      "\xE4\xB8\xAD\xE6\x96\x87 and \x1B[0m control bytes\t\r\n";
  EXPECT_EQ(SanitizeUtf8(text), text);
}

struct CharacterCase {
  const char* name;
  std::string bytes;
};

const std::vector<CharacterCase> kMultiByteCharacters = {
    {"two bytes", "\xC3\xA9"},          {"smallest three-byte", "\xE0\xA0\x80"},
    {"three bytes", "\xE2\x82\xAC"},    {"below surrogates", "\xED\x9F\xBF"},
    {"four bytes", "\xF0\x9F\x98\x80"}, {"plane 4", "\xF1\x80\x80\x80"},
    {"largest", "\xF4\x8F\xBF\xBF"},
};

TEST(UtfCompleteUtf8PrefixLength, HoldsBackACharacterCutAtAnyPosition) {
  for (const auto& character : kMultiByteCharacters) {
    for (const std::string prefix : {"", "ab", "\xC3\xA9"}) {
      for (std::size_t cut = 0; cut <= character.bytes.size(); ++cut) {
        SCOPED_TRACE(std::string(character.name) + ", prefix " + std::to_string(prefix.size()) + ", cut " +
                     std::to_string(cut));
        const std::string chunk = prefix + character.bytes.substr(0, cut);
        const bool complete = cut == 0 || cut == character.bytes.size();
        EXPECT_EQ(CompleteUtf8PrefixLength(chunk), complete ? chunk.size() : prefix.size());
      }
    }
  }
}

TEST(UtfCompleteUtf8PrefixLength, KeepsIllFormedTails) {
  const struct {
    const char* name;
    std::string bytes;
    std::size_t expected;
  } cases[] = {
      {"empty", "", 0},
      {"ascii", "abc", 3},
      {"lone continuation", "a\x80", 2},
      {"stray continuation after a character", "\xC3\xA9\x82", 3},
      {"three continuations", "\x80\x80\x80", 3},
      {"continuation after a complete four-byte", "a\xF0\x9F\x98\x80\x80", 6},
      {"lead never valid C0", "a\xC0", 2},
      {"lead never valid F5", "a\xF5", 2},
      {"byte FF", "a\xFF", 2},
      {"bad second byte", "a\xC3(", 3},
      {"overlong three-byte start", "a\xE0\x80", 3},
      {"surrogate start", "a\xED\xA0", 3},
      {"above U+10FFFF start", "a\xF4\x90", 3},
      {"overlong four-byte start", "a\xF0\x8F", 3},
      {"bad third byte", "a\xF0\x9F(", 4},
      {"truncated, then a new truncated character", "\xF0\x9F\xE2\x82", 2},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    EXPECT_EQ(CompleteUtf8PrefixLength(testCase.bytes), testCase.expected);
  }
}

TEST(UtfCompleteUtf8PrefixLength, SplitsValidTextIntoValidPieces) {
  // How output chunks use it: hold back the tail, put it in front of the next chunk.
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z\xF4\x8F\xBF\xBF\xE4\xB8\xAD";
  for (std::size_t split = 0; split <= text.size(); ++split) {
    SCOPED_TRACE(split);
    const std::string first = text.substr(0, split);
    const std::size_t complete = CompleteUtf8PrefixLength(first);
    EXPECT_LE(first.size() - complete, 3u);
    EXPECT_EQ(SanitizeUtf8(first.substr(0, complete)), first.substr(0, complete));
    const std::string rest = first.substr(complete) + text.substr(split);
    EXPECT_EQ(SanitizeUtf8(rest), rest);
  }
}

}  // namespace
}  // namespace snh
