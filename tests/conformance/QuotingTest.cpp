// The client's file name and arguments reach its own argv exactly, whatever characters they hold.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HostTest.h"

namespace snh::conformance {
namespace {

class Quoting : public HostTest {
 protected:
  // Runs the client with `argv` first and returns the argv it reports.
  std::vector<std::string> ReportedArgv(const std::string& fileName, const std::vector<std::string>& data) {
    std::vector<std::string> arguments = {"argv"};
    arguments.insert(arguments.end(), data.begin(), data.end());
    HostSession& host = StartHost();
    host.Send(ConnectRequest(fileName, arguments));
    host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
    const nlohmann::json argv = nlohmann::json::parse(JoinedOutput(host, "stdout"), nullptr, false);
    if (!argv.is_array()) throw HarnessFailure("the client printed no argv: " + host.DescribeReceived());
    return argv.get<std::vector<std::string>>();
  }
};

TEST_F(Quoting, ArgumentsReachTheClientExactly) {
  const std::vector<std::string> arguments = {
      "plain",
      "with space",
      "  leading and trailing  ",
      "tab\there",
      "line\nfeed",
      "vertical\vtab",
      "carriage\rreturn",
      "a\"b",
      "\"",
      "\"\"",
      "\"quoted\"",
      "trailing\\",
      "trailing space\\",
      "two trailing\\\\",
      "C:\\Program Files\\client.exe",
      "\\\\server\\share\\",
      "backslash\\\"quote",
      "backslashes\\\\\"quote",
      "",
      "-N",
      "",
      "ümlaut",
      "€uro and 日本語",
      "emoji 😀",
      "percent %PATH% and ^caret & amp | pipe < > ( )",
  };
  const std::vector<std::string> argv = ReportedArgv(Client(), arguments);
  ASSERT_EQ(argv.size(), arguments.size() + 2);
  EXPECT_EQ(argv[0], Client());
  EXPECT_EQ(argv[1], "argv");
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    EXPECT_EQ(argv[i + 2], arguments[i]) << "argument " << i;
  }
}

TEST_F(Quoting, FileNameWithSpacesAndNonAsciiStartsTheClient) {
  namespace fs = std::filesystem;
  const fs::path directory = fs::temp_directory_path() / fs::path(u8"snh quoting dir ü");
  fs::create_directories(directory);
  const fs::path copy = directory / fs::path(u8"snh test client é.exe");
  fs::copy_file(fs::path(Client()), copy, fs::copy_options::overwrite_existing);
  const std::u8string fileName = copy.u8string();

  const std::vector<std::string> argv = ReportedArgv(std::string(fileName.begin(), fileName.end()), {"x y"});
  ASSERT_EQ(argv.size(), 3u);
  EXPECT_EQ(argv[0], std::string(fileName.begin(), fileName.end()));
  EXPECT_EQ(argv[2], "x y");
  fs::remove_all(directory);
}

TEST_F(Quoting, BatchFileArgumentsReachItLiterally) {
  if (!Platform().batchFilesRunInCmd) GTEST_SKIP() << "no cmd.exe here";
  const std::filesystem::path script = std::filesystem::path(Client()).parent_path() / "snh echo args.bat";
  std::ofstream(script) << "@echo off\r\necho %1 %2 %3 %4 %5\r\n";
  HostSession& host = StartHost();
  host.Send(ConnectRequest(script.string(), {"&echo injected", "a|b", "<(^)>", "k=v !OS!", "C:\\dir\\"}));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_EQ(JoinedOutput(host, "stdout"), "\"&echo injected\" \"a|b\" \"<(^)>\" \"k=v !OS!\" C:\\dir\\\r\n");
}

}  // namespace
}  // namespace snh::conformance
