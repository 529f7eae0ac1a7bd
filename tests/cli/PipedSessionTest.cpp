// The client with its input on a pipe, as scripts run it: the same on every platform.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "CliTest.h"

namespace snh::cli_test {
namespace {

std::vector<nlohmann::json> JsonLines(const std::string& output) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// A pseudo console may render text with cursor moves between words, so only the plain text is compared.
std::string PlainText(const std::vector<nlohmann::json>& messages) {
  std::string text;
  for (const auto& message : messages) {
    if (message["type"] == "pseudo_console_output")
      text += message["pseudoConsoleOutput"]["processedContent"];
  }
  return text;
}

TEST(PipedSessionTest, JsonLinesEndWithTheExitNotice) {
  const CliResult result =
      RunCli({"--json", "--host", Programs().host, "--mode", "pseudo_console", "--program", Programs().client,
              "console:ready ", "console-read:3", "console:\\r\\n"},
             "xyz");
  ASSERT_EQ(result.exitCode, 0) << result.error;
  const auto messages = JsonLines(result.output);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(),
            (nlohmann::json{{"type", "error"}, {"error", "SSH Process exited"}, {"exitCode", 0}}));
  const std::string text = PlainText(messages);
  const std::size_t ready = text.find("ready");
  ASSERT_NE(ready, std::string::npos) << result.output;
  EXPECT_NE(text.find("got:xyz", ready), std::string::npos) << result.output;
}

TEST(PipedSessionTest, PlainDisplayWritesTheConsoleAndTheStreams) {
  const CliResult result =
      RunCli({"--host", Programs().host, "--mode", "windows_console_without_polling", "--program",
              Programs().client, "out:to stdout\\n", "err:to stderr\\n", "read:2"},
             "ab");
  ASSERT_EQ(result.exitCode, 0) << result.error;
  EXPECT_NE(result.output.find("to stdout\n"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("6162"), std::string::npos) << result.output;  // "ab", read from stdin
  EXPECT_NE(result.error.find("to stderr\n"), std::string::npos) << result.error;
  EXPECT_EQ(result.output.find("SSH Process exited"), std::string::npos);
}

TEST(PipedSessionTest, EndOfInputEndsTheProgramsInputAndItsStatusIsOurs) {
  const CliResult result = RunCli({"--host", Programs().host, "--mode", "windows_console_with_polling",
                                   "--program", Programs().client, "echo", "exit:3"},
                                  "hi");
  EXPECT_EQ(result.exitCode, 3) << result.error;
  EXPECT_NE(result.output.find("hi"), std::string::npos) << result.output;
  // Without a mode chosen, as ssh: the program's own bytes, and input ended without a line end.
  const CliResult own = RunCli({"--host", Programs().host, "--program", Programs().client, "echo"}, "a\nb");
  EXPECT_EQ(own.exitCode, 0) << own.error;
  EXPECT_EQ(own.output, "a\nb");
}

TEST(PipedSessionTest, MissingProgramIsOneLineAndStatus127) {
  const CliResult result = RunCli({"--host", Programs().host, "--program", "/nonexistent/snh-x"}, "");
  EXPECT_EQ(result.exitCode, 127);
  EXPECT_TRUE(result.error.starts_with("ssh-native-host-cli: cannot start \"/nonexistent/snh-x\""))
      << result.error;
  EXPECT_EQ(result.error.find('\n'), result.error.size() - 1) << result.error;
}

TEST(PipedSessionTest, HostFailuresEndTheClientWithAClearError) {
  struct Row {
    const char* name;
    std::string host;
    std::string error;
  };
  const std::vector<Row> rows = {
      {"NoSuchHost", "/nonexistent/snh-no-such-host", "ssh-native-host-cli: cannot start"},
      // The test client takes the browser's origin argument for an unknown action and exits at once.
      {"HostExitsEarly", Programs().client, "ssh-native-host-cli: the host ended before the session did"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CliResult result = RunCli({"--host", row.host, "--program", Programs().client}, "");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.error.find(row.error), std::string::npos) << result.error;
  }
}

TEST(PipedSessionTest, WrongCommandLineExitsWithUsage) {
  const CliResult result = RunCli({"--mode", "pty"}, "");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.error.find("unknown mode \"pty\""), std::string::npos) << result.error;
  EXPECT_EQ(RunCli({"--version"}, "").output, "ssh-native-host-cli " SNH_VERSION "\n");
}

}  // namespace
}  // namespace snh::cli_test
