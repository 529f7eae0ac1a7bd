#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "client/MessagePresenter.h"

namespace snh::client {
namespace {

using nlohmann::json;

TEST(MessagePresenterTest, EachMessageGoesWhereAUserLooksForIt) {
  struct Row {
    const char* name;
    json message;
    std::string output;
    std::string error;
    bool ended;
  };
  const std::vector<Row> rows = {
      {"RawContentVerbatim",
       json::parse(
           R"({"type":"pseudo_console_output","pseudoConsoleOutput":{"rawContent":"\u001b]0;t\u0007\u001b[1mA\r\n",)"
           R"("processedContent":"A\r\n","windowTitle":"t"}})"),
       "\x1b]0;t\a\x1b[1mA\r\n", "", false},
      {"StdoutToOutput", json::parse(R"({"type":"stdout","outputLine":"line\n"})"), "line\n", "", false},
      {"StderrToError", json::parse(R"({"type":"stderr","outputLine":"Permission denied.\r\n"})"), "",
       "Permission denied.\r\n", false},
      {"ExitNoticeEndsQuietly", json::parse(R"({"type":"error","error":"SSH Process exited"})"), "", "",
       true},
      {"ErrorsArePrefixedOnOneLine",
       json::parse(
           R"({"type":"error","error":"CreateProcess failed. 0x2 The system cannot find the file specified.\r\n"})"),
       "", "ssh-native-host: CreateProcess failed. 0x2 The system cannot find the file specified.\r\n",
       false},
      {"ErrorTextIsNotAnEndMatchedLoosely", json::parse(R"({"type":"error","error":"SSH Process exited!"})"),
       "", "ssh-native-host: SSH Process exited!\r\n", false},
      {"VersionIsNotShown", json::parse(R"({"type":"version","version":"2.0.0.0"})"), "", "", false},
      {"UnknownTypesAreIgnored", json::parse(R"({"type":"future","outputLine":"x"})"), "", "", false},
      {"WrongFieldTypesShowNothing", json::parse(R"({"type":"stdout","outputLine":5})"), "", "", false},
      {"MissingObjectShowsNothing", json::parse(R"({"type":"pseudo_console_output"})"), "", "", false},
  };
  const MessagePresenter presenter("\r\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Presentation shown = presenter.Present(row.message);
    EXPECT_EQ(shown.output, row.output);
    EXPECT_EQ(shown.error, row.error);
    EXPECT_EQ(shown.sessionEnded, row.ended);
  }
}

TEST(MessagePresenterTest, ExitCodesAndCapabilitiesAreTakenOnlyWhenWellFormed) {
  const std::vector<std::pair<std::string, std::optional<std::uint32_t>>> rows = {
      {"3", 3},
      {"3221225477", 0xC0000005},
      {"-1073741819", 0xC0000005},
      {"\"3\"", std::nullopt},
      {"1.5", std::nullopt},
      {"4294967296", std::nullopt}};
  for (const auto& [code, taken] : rows) {
    const json notice =
        json::parse(R"({"type":"error","error":"SSH Process exited","exitCode":)" + code + "}");
    EXPECT_EQ(MessagePresenter("\n").Present(notice).exitCode, taken) << code;
  }
  EXPECT_EQ(
      OfferedCapabilities(json::parse(R"({"type":"capabilities","capabilities":["resize",7,"exitCode"]})")),
      (std::set<std::string>{"resize", "exitCode"}));
  EXPECT_TRUE(OfferedCapabilities(json::parse(R"({"type":"error","error":"Unkown type"})")).empty());
}

TEST(MessagePresenterTest, StartFailureIsOneLineAndAShellsStatus) {
  const MessagePresenter presenter("\n", "sshx");
  const std::vector<std::tuple<std::string, std::string, std::uint32_t>> rows = {
      {"0x3 No such path\r\n", "No such path (is it installed, and on PATH?)", 127},
      {"0xd Permission denied", "Permission denied", 126}};
  for (const auto& [detail, reason, status] : rows) {
    const Presentation shown =
        presenter.Present(json{{"type", "error"}, {"error", "CreateProcess failed. " + detail}});
    EXPECT_EQ(shown.error, "ssh-native-host-cli: cannot start \"sshx\": " + reason + "\n");
    EXPECT_EQ(shown.exitCode, status);
    EXPECT_TRUE(shown.sessionEnded);
  }
}

json ConsoleOutput(int width, int startX, const std::string& cells) {
  return {{"type", "console_output"},
          {"consoleOutput",
           {{"consoleSize", {{"x", width}, {"y", 30}}},
            {"startPosition", {{"x", startX}, {"y", 0}}},
            {"endPosition", {{"x", 0}, {"y", 0}}},
            {"characterContent", cells}}}};
}

TEST(MessagePresenterTest, ConsoleCellsBecomeLinesAndThePromptStaysOpen) {
  struct Row {
    const char* name;
    int width;
    int startX;
    std::string cells;
    std::string shown;
  };
  const std::vector<Row> rows = {
      {"PromptOnFirstRow", 20, 0, "login as: ", "login as: "},
      {"WholeRowsLoseTrailingBlanks", 5, 0, "ab   cd   e", "ab\ncd\ne"},
      {"BlankRowIsAnEmptyLine", 4, 0, "    x", "\nx"},
      {"StartInsideARow", 5, 3,
       "ab"
       "cdefg"
       "h",
       "ab\ncdefg\nh"},
      {"MultiByteCharactersAreOneCellEach", 3, 0,
       "\xC3\xA9\xE2\x82\xAC "
       "ok",
       "\xC3\xA9\xE2\x82\xAC\nok"},
      {"ExactlyFullRowsEndWithALineEnd", 2, 0, "abcd", "ab\ncd\n"},
      {"Empty", 50, 0, "", ""},
  };
  const MessagePresenter presenter("\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(presenter.Present(ConsoleOutput(row.width, row.startX, row.cells)).output, row.shown);
  }
}

TEST(MessagePresenterTest, ConsoleOutputWithoutASizeIsShownAsItIs) {
  json message = ConsoleOutput(0, 0, "abc   ");
  EXPECT_EQ(MessagePresenter("\n").Present(message).output, "abc   ");
  // On the pipe path the console's text is for the user, not the program's output.
  const Presentation aside = MessagePresenter("\n", "sh", true).Present(message);
  EXPECT_EQ(aside.error, "abc   ");
  EXPECT_EQ(aside.output, "");
  message["consoleOutput"].erase("consoleSize");
  EXPECT_EQ(MessagePresenter("\n").Present(message).output, "abc   ");
}

}  // namespace
}  // namespace snh::client
