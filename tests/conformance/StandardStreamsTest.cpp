// The client's standard output and error come back byte for byte as "stdout" and "stderr" messages,
// and "stdin" text reaches its standard input unchanged.

#include <algorithm>
#include <string>

#include "HostTest.h"

namespace snh::conformance {
namespace {

class StandardStreams : public HostTest {};

TEST_F(StandardStreams, StdoutAndStderrAreRelayedUnchanged) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"out:line one\\r\\nline two\\n", "err:oops\\r\\n",
                                      "out:tab\\there \"q\" \\\\ e\\x00nd", "err:second\\r", "sleep:200"}));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  for (const ReceivedMessage& message : host.AllReceived()) {
    if (message.Type() == "stdout" || message.Type() == "stderr") {
      EXPECT_EQ(message.body.size(), 2u) << message.body.dump();
      EXPECT_TRUE(message.body.at("outputLine").is_string());
    }
  }
  EXPECT_EQ(JoinedOutput(host, "stdout"), "line one\r\nline two\ntab\there \"q\" \\ end");
  EXPECT_EQ(JoinedOutput(host, "stderr"), "oops\r\nsecond\r");
}

TEST_F(StandardStreams, LargeWriteArrivesInSmallChunksOfWholeCharacters) {
  constexpr std::size_t kCharacters = 1000;  // 3000 bytes: every 1024-byte read ends inside a character
  std::string expected;
  for (std::size_t i = 0; i < kCharacters; ++i) expected += "\xE2\x82\xAC";

  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"utf8-flood:" + std::to_string(kCharacters), "sleep:200"}));
  std::string received;
  int messages = 0;
  while (received.size() < expected.size()) {
    const ReceivedMessage message = host.WaitFor(IsType("stdout"), kClientTimeout, "the rest of the flood");
    const std::string chunk = message.body.at("outputLine").get<std::string>();
    EXPECT_LE(chunk.size(), 1024u);
    EXPECT_EQ(chunk.find("\xEF\xBF\xBD"), std::string::npos) << "a character was split into U+FFFD";
    received += chunk;
    ++messages;
  }
  EXPECT_EQ(received, expected);
  EXPECT_GE(messages, 3);
}

TEST_F(StandardStreams, AskedSizeTakesWhatIsWaitingAndNeverWaitsForMore) {
  HostSession& host = StartHost();
  nlohmann::json connect = ConnectRequest(Client(), {"utf8-flood:20000", "out:!", "read:1"});
  connect["connectParams"]["maxOutputBytes"] = 65536;
  host.Send(connect);
  std::string received;
  std::size_t longest = 0;
  while (received.empty() || received.back() != '!') {  // it comes while the client waits for input
    const std::string chunk = host.WaitFor(IsType("stdout"), kClientTimeout, "stdout").body.at("outputLine");
    received += chunk;
    longest = std::max(longest, chunk.size());
  }
  EXPECT_EQ(received.size(), 60001u) << "bytes lost or a character split into U+FFFD";
  EXPECT_TRUE(longest > 1024 && longest <= 65536) << longest;
}

TEST_F(StandardStreams, StdinReachesTheClientUnchanged) {
  HostSession& host = StartHost();
  // The client reads exactly ten bytes; an added line end would show inside them.
  host.Send(ConnectRequest(Client(), {"read:10", "sleep:200"}));
  host.Send(StdinRequest("ab"));
  host.Send(StdinRequest(""));
  host.Send(StdinRequest("c\r\n"));
  host.Send(StdinRequest("\xC3\xA9\xE2\x82\xAC"));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_EQ(JoinedOutput(host, "stdout"), "6162630d0ac3a9e282ac");
}

}  // namespace
}  // namespace snh::conformance
