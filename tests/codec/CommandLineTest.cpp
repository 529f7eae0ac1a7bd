#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "codec/CommandLine.h"
#include "codec/Utf.h"
#include "codec/WindowsArgvParser.h"

namespace snh {
namespace {

using test::SplitWindowsCommandLine;

struct QuotingCase {
  std::u16string argument;
  std::u16string expected;
};

class CommandLineQuoting : public ::testing::TestWithParam<QuotingCase> {};

TEST_P(CommandLineQuoting, AppendsTheExpectedTextToAnEmptyCommandLine) {
  std::u16string commandLine;
  AppendQuotedArgument(commandLine, GetParam().argument);
  EXPECT_EQ(commandLine, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    DocumentedExamples, CommandLineQuoting,
    ::testing::Values(QuotingCase{uR"(C:\Program Files\client.exe)", uR"("C:\Program Files\client.exe")"},
                      QuotingCase{uR"(a"b)", uR"("a\"b")"}, QuotingCase{uR"(my dir\)", uR"("my dir\\")"},
                      QuotingCase{uR"(dir\)", uR"(dir\)"}, QuotingCase{u"", uR"("")"}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, CommandLineQuoting,
    ::testing::Values(
        // Each of the five quoting characters alone is enough.
        QuotingCase{u" ", u"\" \""}, QuotingCase{u"a\tb", u"\"a\tb\""}, QuotingCase{u"a\nb", u"\"a\nb\""},
        QuotingCase{u"a\vb", u"\"a\vb\""}, QuotingCase{uR"(")", uR"("\"")"},
        // Carriage return and other controls pass unquoted.
        QuotingCase{u"a\rb", u"a\rb"}, QuotingCase{u"a\fb\x01", u"a\fb\x01"},
        // Backslashes: literal unless they precede a quote or the closing quote.
        QuotingCase{uR"(\)", uR"(\)"}, QuotingCase{uR"(\\server\share\)", uR"(\\server\share\)"},
        QuotingCase{uR"(a\b c)", uR"("a\b c")"}, QuotingCase{uR"(x \\)", uR"("x \\\\")"},
        QuotingCase{uR"(\")", uR"("\\\"")"}, QuotingCase{uR"(a\\"b)", uR"("a\\\\\"b")"},
        QuotingCase{uR"(a\\\"b)", uR"("a\\\\\\\"b")"}, QuotingCase{uR"("\)", uR"("\"\\")"},
        QuotingCase{uR"(a\\b\\ "c\)", uR"("a\\b\\ \"c\\")"},
        // Quotes alone, in a row and at the ends.
        QuotingCase{uR"("")", uR"("\"\"")"}, QuotingCase{uR"("a")", uR"("\"a\"")"},
        QuotingCase{uR"(a")", uR"("a\"")"},
        // Non-ASCII text is never a reason to quote.
        QuotingCase{u"\u00e9t\u00e9", u"\u00e9t\u00e9"}, QuotingCase{u"\U0001F600 x", u"\"\U0001F600 x\""},
        QuotingCase{u"\u3000", u"\u3000"}));

TEST(CommandLineAppend, SeparatesFromEarlierTextWithOneSpace) {
  std::u16string commandLine = u"ssh.exe";
  AppendQuotedArgument(commandLine, u"");
  AppendQuotedArgument(commandLine, u"-v");
  AppendQuotedArgument(commandLine, u"a b");
  EXPECT_EQ(commandLine, uR"(ssh.exe "" -v "a b")");
}

TEST(CommandLineBuild, QuotesTheFileNameLikeAnyArgument) {
  EXPECT_EQ(BuildCommandLine(R"(C:\Tools\client.exe)", {"-N", "-D", "1080", "my server"}),
            uR"(C:\Tools\client.exe -N -D 1080 "my server")");
  EXPECT_EQ(BuildCommandLine(R"(C:\Program Files\OpenSSH\ssh.exe)", {}),
            uR"("C:\Program Files\OpenSSH\ssh.exe")");
  EXPECT_EQ(BuildCommandLine("", {""}), uR"("" "")");
}

TEST(CommandLineBuild, ConvertsUtf8ToUtf16) {
  EXPECT_EQ(BuildCommandLine("ssh.exe", {"\xC3\xA9", "\xE2\x82\xAC x", "\xF0\x9F\x98\x80"}),
            u"ssh.exe \u00e9 \"\u20ac x\" \U0001F600");
  // Ill-formed input cannot reach the client as bytes; a NUL would end the command line early.
  EXPECT_EQ(BuildCommandLine("ssh.exe", {"a\xFF", std::string("b\0c", 3)}), u"ssh.exe a\uFFFD b");
}

TEST(CommandLineClient, BatchFilesGetCmdQuotingAndWhatCmdCannotPassIsRefused) {
  const std::u16string cmd = u"cmd.exe /d /e:on /v:off /s /c \"";
  EXPECT_EQ(BuildClientCommandLine("t.bat.exe", {"a&b", "%P%"}), u"t.bat.exe a&b %P%");  // no cmd.exe
  EXPECT_EQ(BuildClientCommandLine(R"(C:\t.bat)", {"-p", R"(dir\)", "", "a b", "!x!"}),
            cmd + uR"("C:\t.bat" -p dir\ "" "a b" !x!")");
  EXPECT_EQ(BuildClientCommandLine("t.CmD. .", {"&calc.exe", "a|b", "<>^()", "k=v", "a,b;c"}),
            cmd + uR"x("t.CmD. ." "&calc.exe" "a|b" "<>^()" "k=v" "a,b;c"")x");
  // What cmd.exe expands or ends the command at even inside quotes, and a quote in any program name.
  for (const std::string& unsafe :
       std::vector<std::string>{"%PATH%", "\"&calc", "a\nb", std::string("a\0b", 3)}) {
    EXPECT_THROW(BuildClientCommandLine("t.bat", {unsafe}), UnsafeCommandLine) << unsafe;
  }
  EXPECT_THROW(BuildClientCommandLine(R"(C:\%\t.cmd)", {}), UnsafeCommandLine);
  EXPECT_THROW(BuildClientCommandLine(R"(a"b.exe)", {}), UnsafeCommandLine);
}

// Splits what BuildCommandLine produced and expects exactly the inputs back.
void ExpectRoundTrip(const std::string& fileName, const std::vector<std::string>& arguments) {
  const std::u16string commandLine = BuildCommandLine(fileName, arguments);
  std::vector<std::u16string> expected{ToUtf16(fileName)};
  for (const std::string& argument : arguments) {
    expected.push_back(ToUtf16(argument));
  }
  EXPECT_EQ(SplitWindowsCommandLine(commandLine), expected) << ::testing::PrintToString(commandLine);
}

TEST(CommandLineRoundTrip, HardCasesSplitBackIntoTheSameArguments) {
  struct Case {
    std::string fileName;
    std::vector<std::string> arguments;
  };
  const std::vector<Case> cases = {
      {"ssh.exe", {}},
      {R"(C:\Program Files\OpenSSH\ssh.exe)", {"-p", "22", "user@host"}},
      {R"(\\server\share dir\ssh.exe)", {R"(\\server\share dir\)", R"(dir\)", R"(\)"}},
      {"ssh.exe", {"", "", "x", ""}},
      {"ssh.exe", {R"(a"b)", R"(")", R"("")", R"(""")", R"(" ")"}},
      {"ssh.exe", {R"(\")", R"(\\")", R"(\\\")", R"(a\\\\"b c)", R"(\\"\\)"}},
      {"ssh.exe", {"trailing\\\\\\", "tail \\\\", "\\\\\\", " \\"}},
      {"ssh.exe", {"tab\there", "\t", " ", "  lead", "trail  ", "line\nfeed", "v\vtab", "cr\r"}},
      {"ssh.exe", {"-o", "ProxyCommand=ssh -W %h:%p \"jump host\"", "-i", R"(C:\Users\me\.ssh\id key)"}},
      {"C:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B\\ssh client.exe",
       {"\xC3\xA9t\xC3\xA9 \"q\"", "\xE2\x82\xAC\\", "\xF0\x9F\x98\x80",
        "\xF0\x9F\x98\x80 \xF0\x9F\x98\x80\\"}},
  };
  for (const Case& c : cases) {
    ExpectRoundTrip(c.fileName, c.arguments);
  }
}

// Pieces weighted towards what quoting must get right; a few are multi-byte UTF-8.
const std::vector<std::string> kArgumentPieces = {
    "\\", "\\", "\\", "\"", "\"", " ", "\t",       "\n",
    "\v", "\r", "a",  "Z",  "-",  "=", "\xC3\xA9", "\xF0\x9F\x98\x80",
};

std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, std::size_t maxLength) {
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::string text;
  for (std::size_t count = length(random); count > 0; --count) {
    text += pieces[piece(random)];
  }
  return text;
}

TEST(CommandLineRoundTrip, RandomArgumentListsSplitBackIntoTheSameArguments) {
  // A program name is split without escapes, so it holds no quote and ends in no backslash.
  std::vector<std::string> fileNamePieces;
  for (const std::string& piece : kArgumentPieces) {
    if (piece != "\"") fileNamePieces.push_back(piece);
  }
  std::mt19937 random(20261201);
  std::uniform_int_distribution<std::size_t> argumentCount(0, 6);
  for (int iteration = 0; iteration < 4000; ++iteration) {
    std::string fileName = RandomText(random, fileNamePieces, 6) + "ssh.exe";
    std::vector<std::string> arguments(argumentCount(random));
    for (std::string& argument : arguments) {
      argument = RandomText(random, kArgumentPieces, 10);
    }
    ExpectRoundTrip(fileName, arguments);
    if (HasFailure()) {
      break;  // one counterexample is enough to read
    }
  }
}

// The oracle itself, against the documented behaviour of the C runtime.
TEST(CommandLineSplitter, FollowsTheRuntimeRules) {
  struct Case {
    std::u16string commandLine;
    std::vector<std::u16string> argv;
  };
  const std::vector<Case> cases = {
      {uR"(p "a b c" d e)", {u"p", u"a b c", u"d", u"e"}},
      {uR"(p "ab\"c" "\\" d)", {u"p", uR"(ab"c)", uR"(\)", u"d"}},
      {uR"(p a\\\b d"e f"g h)", {u"p", uR"(a\\\b)", u"de fg", u"h"}},
      {uR"(p a\\\"b c d)", {u"p", uR"(a\"b)", u"c", u"d"}},
      {uR"(p a\\\\"b c" d e)", {u"p", uR"(a\\b c)", u"d", u"e"}},
      {uR"(p a"b"" c d)", {u"p", uR"(ab" c d)"}},
      {u"p\t\"\"  x\ny ", {u"p", u"", u"x\ny"}},
      // The program name: quotes toggle, backslashes are literal.
      {uR"("C:\my dir\p.exe" x)", {uR"(C:\my dir\p.exe)", u"x"}},
      {uR"(C:\a\"b c"\ d)", {uR"(C:\a\b c\)", u"d"}},
      {u"", {u""}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitWindowsCommandLine(c.commandLine), c.argv) << ::testing::PrintToString(c.commandLine);
  }
}

}  // namespace
}  // namespace snh
