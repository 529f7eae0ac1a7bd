#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/ClientOptions.h"

namespace snh::client {
namespace {

ParsedCommandLine Parse(std::vector<std::string> words) { return ParseCommandLine(words); }

TEST(ClientOptionsTest, SshOptionsAreReadAsSshReadsThemAndPassedOnInOrder) {
  struct Row {
    std::vector<std::string> words;
    std::optional<std::string> destination;
    std::optional<char> escape = '~';
    int quietAndTty = 0;                                     // how many of -q and (-t or -T) were seen
    std::optional<std::vector<std::string>> arguments = {};  // for ssh; absent: the words as given
  };
  const std::vector<Row> rows = {
      {{"-p", "2223", "-i", "k", "-oUser=me", "-J", "j", "-l", "me", "-v", "-V", "-m", "m", "h"}, "h"},
      // Bundles: flags, then one that takes the rest of the word or the next one as its value.
      {{"-tt", "-vp", "22", "-46Cqp2", "h"}, "h", '~', 2},
      // Options after the destination too; the first other word starts the command, kept whole.
      {{"h", "-qT", "-p", "22", "ls", "-l", "--json", "-e", "x"}, "h", '~', 2},
      {{"--", "-h", "-p"}, "-h"},
      // ssh's -e is the client's too, unless --escape-char says otherwise.
      {{"-e", "none", "h"}, "h", std::nullopt},
      {{"-e", "%", "--escape-char", "^]", "h"}, "h", '\x1d', 0, {{"-e", "%", "h"}}},
      // The client's own long options may stand among ssh's.
      {{"-p", "22", "--json", "--mode=pseudo_console", "-A", "h"}, "h", '~', 0, {{"-p", "22", "-A", "h"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.words));
    const ParsedCommandLine parsed = Parse(row.words);
    EXPECT_EQ(parsed.options.arguments, row.arguments.value_or(row.words));
    EXPECT_EQ(parsed.options.destination, row.destination);
    EXPECT_EQ(parsed.options.escapeCharacter, row.escape);
    EXPECT_EQ(int(parsed.options.quiet) + int(parsed.options.ttyChosen), row.quietAndTty);
  }
}

TEST(ClientOptionsTest, ClientOptionsAreLongOnesAndProgramTakesTheRest) {
  struct Row {
    std::vector<std::string> words;
    std::string mode;
    bool json;
    std::optional<std::string> program;
    std::optional<std::string> host;
    std::vector<std::string> arguments;
  };
  const std::vector<Row> rows = {
      {{}, "pseudo_console", false, {}, {}, {}},
      {{"--mode=windows_console_without_polling"}, "windows_console_without_polling", false, {}, {}, {}},
      {{"--program", "/bin/sh", "-c", "echo hi"}, "pseudo_console", false, "/bin/sh", {}, {"-c", "echo hi"}},
      {{"--program=cmd.exe", "--", "--json"}, "pseudo_console", false, "cmd.exe", {}, {"--json"}},
      {{"--host", "/opt/snh/host", "--json"}, "pseudo_console", true, {}, "/opt/snh/host", {}},
      {{"--json", "--program", "sh", "--json", "-x"}, "pseudo_console", true, "sh", {}, {"--json", "-x"}},
  };
  for (const Row& row : rows) {
    const ParsedCommandLine parsed = Parse(row.words);
    SCOPED_TRACE(::testing::PrintToString(row.words));
    EXPECT_EQ(parsed.options.mode.value_or("pseudo_console"), row.mode);
    EXPECT_EQ(parsed.options.json, row.json);
    EXPECT_EQ(parsed.options.program, row.program);
    EXPECT_EQ(parsed.options.hostPath, row.host);
    EXPECT_EQ(parsed.options.arguments, row.arguments);
  }
}

TEST(ClientOptionsTest, HelpAndVersionWinOverWhatFollows) {
  EXPECT_EQ(Parse({"--json", "--help", "--bogus"}).action, ClientAction::kShowHelp);
  EXPECT_EQ(Parse({"-h"}).action, ClientAction::kShowHelp);
  EXPECT_EQ(Parse({"--version"}).action, ClientAction::kShowVersion);
  // After the first argument they belong to the program.
  EXPECT_EQ(Parse({"host", "--help"}).action, ClientAction::kRun);
}

TEST(ClientOptionsTest, PollingIntervalIsANonNegativeNumber) {
  EXPECT_EQ(Parse({"--polling-interval", "0.25"}).options.pollingIntervalInSeconds, 0.25);
  EXPECT_EQ(Parse({"--polling-interval=0"}).options.pollingIntervalInSeconds, 0.0);
  EXPECT_EQ(Parse({}).options.pollingIntervalInSeconds, std::nullopt);
}

TEST(ClientOptionsTest, BadCommandLinesSayWhatIsWrong) {
  struct Row {
    std::vector<std::string> words;
    std::string message;
  };
  const std::vector<Row> rows = {
      {{"-tZ", "host"}, "unknown option \"-tZ\": ssh has no such option"},
      {{"-vi"}, "option -i needs a value"},
      {{"-e", "ab", "h"}, "bad escape character \"ab\""},
      {{"-p", "22", "--program", "sh"}, "ssh's options go to ssh"},
      {{"--mode", "pty"}, "unknown mode \"pty\""},
      {{"--mode"}, "--mode needs a value"},
      {{"--host"}, "--host needs a value"},
      {{"--program="}, "--program needs a program"},
      {{"--polling-interval", "-1"}, "--polling-interval takes a number of seconds, not \"-1\""},
      {{"--polling-interval", "0.1s"}, "--polling-interval takes a number of seconds, not \"0.1s\""},
      {{"--polling-interval", "nan"}, "--polling-interval takes a number of seconds, not \"nan\""},
      {{"--polling-interval="}, "--polling-interval takes a number of seconds, not \"\""},
      {{"--jsonx"}, "unknown option \"--jsonx\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.words));
    try {
      Parse(row.words);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(row.message, 0), 0u) << error.what();
    }
  }
}

TEST(ClientOptionsTest, ProgramAndModeFollowTheOptionsAndTheInput) {
  ClientOptions options;
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", false).fileName, "/bin/zsh");
  EXPECT_EQ(ResolveMode(options, true), "pseudo_console");
  // Without a terminal: a console mode, and ssh without one of its own unless -t or -T says otherwise.
  EXPECT_EQ(ResolveMode(options, false), "windows_console_with_polling");

  options.arguments = {"-p", "22", "me@host"};
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", true).fileName, "ssh");
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", true).arguments, options.arguments);
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", false).arguments,
            (std::vector<std::string>{"-T", "-p", "22", "me@host"}));
  options.ttyChosen = true;
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", false).arguments, options.arguments);

  options.program = "plink";
  options.ttyChosen = false;
  options.mode = "pseudo_console";
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", false).fileName, "plink");
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh", false).arguments, options.arguments);
  EXPECT_EQ(ResolveMode(options, false), "pseudo_console");
}

TEST(ClientOptionsTest, ConnectRequestCarriesModeProgramAndInterval) {
  ClientOptions options;
  EXPECT_EQ(
      ConnectRequest(options, "windows_console_with_polling", {"ssh", {"host"}}).dump(),
      R"({"connectParams":{"arguments":["host"],"fileName":"ssh","mode":"windows_console_with_polling"},)"
      R"("type":"connect"})");
  options.pollingIntervalInSeconds = 0.5;
  EXPECT_EQ(ConnectRequest(options, "m", {"sh", {}})["connectParams"]["pollingIntervalInSeconds"], 0.5);
}

}  // namespace
}  // namespace snh::client
