// Requests answered by the host itself, without a client: the dispatch table and undecodable frames;
// the command line.

#include <array>
#include <optional>
#include <string>

#include "HostTest.h"
#include "client/FrameCodec.h"

namespace snh::conformance {
namespace {

class Protocol : public HostTest {};

nlohmann::json ErrorReply(const char* text) { return {{"type", "error"}, {"error", text}}; }

struct DispatchRow {
  std::string request;
  std::optional<nlohmann::json> reply;  // nothing: no reply at all
};

constexpr const char* kBadSize =
    "Invalid console size: columns and rows must be whole numbers from 1 to 1000";

TEST_F(Protocol, DispatchTableAnswersEveryRequestType) {
  const nlohmann::json version = {{"type", "version"}, {"version", "2.0.0.0"}};
  const DispatchRow rows[] = {
      {R"({"type":"getVersion"})", version},
      {R"({"type":"getVersion","note":"ignored","input":"x","connectParams":{"fileName":"a","arguments":[]}})",
       version},
      {"{\"type\":\"getVersion\",\"note\":\"bad \xff utf-8\"}", version},
      {R"({"type":"connect"})", ErrorReply("Invalid format")},
      {R"({"type":"connect","input":"x"})", ErrorReply("Invalid format")},
      {R"({"type":"disconnect"})", std::nullopt},
      {R"({"type":"stdin"})", ErrorReply("Invalid format")},
      {R"({"type":"stdin","input":"ls\r\n"})", ErrorReply("Not connected")},
      {R"({"type":"stdin","input":""})", ErrorReply("Not connected")},
      {R"({"type":"readConsole"})", ErrorReply("Not implemented yet")},
      // Beyond the base protocol; its requests never fail on members they do not read.
      {R"({"type":"getCapabilities"})", nlohmann::json{{"type", "capabilities"},
                                                       {"capabilities",
                                                        {"resize", "closeStdin", "exitCode", "maxOutputBytes",
                                                         "omitProcessedContent", "pauseOutput"}}}},
      {R"({"type":"getVersion","consoleSize":"junk"})", version},
      {R"({"type":"resize","consoleSize":{"x":1000,"y":1}})", ErrorReply("Not connected")},
      {R"({"type":"closeStdin"})", ErrorReply("Not connected")},
      {R"({"type":"pauseOutput"})", ErrorReply("Not connected")},
      {R"({"type":"resumeOutput"})", ErrorReply("Not connected")},
      {R"({"type":"resize"})", ErrorReply("Invalid format")},
      {R"({"type":"resize","consoleSize":{"x":"80","y":24}})", ErrorReply("Invalid format")},
      {R"({"type":"resize","consoleSize":{"x":0,"y":24}})", ErrorReply(kBadSize)},
      {R"({"type":"resize","consoleSize":{"x":80,"y":1001}})", ErrorReply(kBadSize)},
      {R"({"type":"resize","consoleSize":{"x":65616,"y":24}})", ErrorReply(kBadSize)},
      {R"({"type":"resize","consoleSize":{"x":80.5,"y":24}})", ErrorReply(kBadSize)},
      {R"({"type":"getversion"})", ErrorReply("Unkown type")},
      {R"({"type":"GETVERSION"})", ErrorReply("Unkown type")},
      {R"({"type":""})", ErrorReply("Unkown type")},
      {R"({"type":"Connect"})", ErrorReply("Unkown type")},
      {R"({"type":"stdin "})", ErrorReply("Unkown type")},
      {R"({"type":"version"})", ErrorReply("Unkown type")},
  };
  HostSession& host = StartHost();
  for (const DispatchRow& row : rows) {
    SCOPED_TRACE("request " + row.request);
    host.SendRaw(EncodeFrame(row.request));
    if (row.reply) {
      EXPECT_EQ(host.Next(kReplyTimeout).body, *row.reply);
    }
    ExpectVersionNext(host);
  }
}

// Run by hand, --help or --version first prints and exits; whatever else a browser passes is ignored.
TEST_F(Protocol, HelpAndVersionComeFirstAndBrowserArgumentsAreIgnored) {
  const std::pair<std::string, std::string> printed[] = {
      {"--help", "Usage: ssh-native-host [--help | --version]\n"},
      {"--version", "ssh-native-host 2.0.0.0\n"},
  };
  for (const auto& [option, wanted] : printed) {
    SCOPED_TRACE(option);
    const auto host = StartChildProcess(Options().hostProgram, {option, "chrome-extension://x/"});
    host->CloseInput();
    std::string text;
    std::array<char, 4096> buffer{};
    while (const std::size_t count = host->ReadOutput(buffer)) text.append(buffer.data(), count);
    std::erase(text, '\r');
    EXPECT_EQ(host->WaitForExit(kReplyTimeout), 0);
    EXPECT_TRUE(text.starts_with(wanted)) << text;
  }
  const std::vector<std::string> browserArguments[] = {
      {"chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/"},
      {"/home/u/.mozilla/native-messaging-hosts/com.sshnativehost.host.json", "snh@example.org"},
      {"chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/", "--help"},
      {},
  };
  for (const auto& arguments : browserArguments) ExpectVersionNext(StartHost(arguments));
}

TEST_F(Protocol, UndecodableFrameGetsInvalidFormatAndHostReadsOn) {
  const std::string bodies[] = {
      "",
      "[]",
      "{",
      R"("getVersion")",
      "42",
      "null",
      "{}",
      R"({"type":7})",
      R"({"type":null})",
      R"({"connectParams":{}})",
      R"({"type":"getVersion"} trailing)",
      R"({"type":"getVersion"}{"type":"getVersion"})",
      R"({"type":"stdin","input":5})",
      R"({"type":"stdin","input":null})",
      R"({"type":"connect","connectParams":{}})",
      R"({"type":"connect","connectParams":"x"})",
      R"({"type":"connect","connectParams":{"fileName":"x"}})",
      R"({"type":"connect","connectParams":{"arguments":[]}})",
      R"({"type":"connect","connectParams":{"fileName":"x","arguments":["-v",1]}})",
      R"({"type":"connect","connectParams":{"fileName":"x","arguments":[],"mode":null}})",
      R"({"type":"connect","connectParams":{"fileName":"x","arguments":[],"consoleSize":{"x":80}}})",
      R"({"type":"connect","connectParams":{"fileName":"x","arguments":[],"pollingIntervalInSeconds":"1"}})",
      R"({"type":"getVersion","connectParams":{"fileName":"x"}})",
      std::string("{\"type\":\"getVersion\"\0}", 22),
  };
  HostSession& host = StartHost();
  for (const std::string& body : bodies) {
    SCOPED_TRACE("body " + body);
    host.SendRaw(EncodeFrame(body));
    EXPECT_EQ(host.Next(kReplyTimeout).body, ErrorReply("Invalid format"));
  }
  ExpectVersionNext(host);
}

}  // namespace
}  // namespace snh::conformance
