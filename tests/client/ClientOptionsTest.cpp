#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/ClientOptions.h"

namespace snh::client {
namespace {

ParsedCommandLine Parse(std::vector<std::string> words) { return ParseCommandLine(words); }

TEST(ClientOptionsTest, OptionsStopAtTheFirstArgument) {
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
      {{"user@example.org"}, "pseudo_console", false, {}, {}, {"user@example.org"}},
      // ssh's own options pass through once the first argument is seen, or after --.
      {{"user@example.org", "-p", "2222"},
       "pseudo_console",
       false,
       {},
       {},
       {"user@example.org", "-p", "2222"}},
      {{"--json", "--", "-p", "2222", "host"}, "pseudo_console", true, {}, {}, {"-p", "2222", "host"}},
      {{"-m", "windows_console_with_polling", "h"}, "windows_console_with_polling", false, {}, {}, {"h"}},
      {{"--mode=windows_console_without_polling"}, "windows_console_without_polling", false, {}, {}, {}},
      {{"--program", "/bin/sh", "-c", "echo hi"}, "pseudo_console", false, "/bin/sh", {}, {"-c", "echo hi"}},
      {{"--program=cmd.exe", "--", "--json"}, "pseudo_console", false, "cmd.exe", {}, {"--json"}},
      {{"--host", "/opt/snh/host", "--json"}, "pseudo_console", true, {}, "/opt/snh/host", {}},
      {{"--json", "--program", "sh", "--json", "-x"}, "pseudo_console", true, "sh", {}, {"--json", "-x"}},
      // A lone "-" is an argument (stdin, for programs that take it).
      {{"-", "--json"}, "pseudo_console", false, {}, {}, {"-", "--json"}},
  };
  for (const Row& row : rows) {
    const ParsedCommandLine parsed = Parse(row.words);
    SCOPED_TRACE(::testing::PrintToString(row.words));
    EXPECT_EQ(parsed.action, ClientAction::kRun);
    EXPECT_EQ(parsed.options.mode, row.mode);
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
  EXPECT_EQ(Parse({"-V"}).action, ClientAction::kShowVersion);
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
      {{"-p", "2222", "host"}, "unknown option \"-p\"; the client program's own options go after --"},
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

TEST(ClientOptionsTest, ProgramIsSshTheShellOrTheOneGiven) {
  ClientOptions options;
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh").fileName, "/bin/zsh");
  EXPECT_TRUE(ResolveProgram(options, "/bin/zsh").arguments.empty());

  options.arguments = {"-p", "22", "me@host"};
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh").fileName, "ssh");
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh").arguments, options.arguments);

  options.program = "plink";
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh").fileName, "plink");
  EXPECT_EQ(ResolveProgram(options, "/bin/zsh").arguments, options.arguments);
}

TEST(ClientOptionsTest, ConnectRequestCarriesModeProgramAndInterval) {
  ClientOptions options;
  options.mode = "windows_console_with_polling";
  EXPECT_EQ(
      ConnectRequest(options, {"ssh", {"host"}}).dump(),
      R"({"connectParams":{"arguments":["host"],"fileName":"ssh","mode":"windows_console_with_polling"},)"
      R"("type":"connect"})");
  options.pollingIntervalInSeconds = 0.5;
  EXPECT_EQ(ConnectRequest(options, {"sh", {}})["connectParams"]["pollingIntervalInSeconds"], 0.5);
}

}  // namespace
}  // namespace snh::client
