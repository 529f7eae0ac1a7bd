// One connection from start to end: the exit notice, disconnect, connects that are ignored, stdin
// after the exit, and the end of input while a client runs.

#include <chrono>
#include <string>
#include <vector>

#include "HostTest.h"
#include "session/OutputEnds.h"

namespace snh::conformance {
namespace {

class Lifecycle : public HostTest {};

const std::vector<const char*> kAllModes = {kPseudoConsole, kConsoleWithPolling, kConsoleWithoutPolling};

MessagePredicate Mentions(std::string wanted) {
  return [wanted = std::move(wanted)](const nlohmann::json& message) {
    std::string text;
    if (message.contains("outputLine")) text = message.at("outputLine").get<std::string>();
    if (message.contains("pseudoConsoleOutput")) {
      text = message.at("pseudoConsoleOutput").at("processedContent").get<std::string>();
    }
    return text.find(wanted) != std::string::npos;
  };
}
const MessagePredicate MentionsBye = Mentions("bye");

bool IsClientOutput(const nlohmann::json& message) {
  const std::string type = message.at("type").get<std::string>();
  return type == "stdout" || type == "stderr" || type == "console_output" || type == "pseudo_console_output";
}

TEST_F(Lifecycle, ExitNoticeFollowsTheLastOutputWithinASecond) {
  for (const char* mode : kAllModes) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    // The last output marks the moment of the exit: stdout in the console modes, the console in the
    // pseudo console.
    host.Send(ConnectRequest(Client(), {"out:bye", "console:bye", "exit:3"}, mode));
    const ReceivedMessage bye = host.WaitFor(MentionsBye, kClientTimeout, "the client's last output");
    const ReceivedMessage notice = host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
    EXPECT_LT(bye.sequence, notice.sequence);
    EXPECT_LE(SecondsBetween(bye.arrival, notice.arrival), 3.0);
    EXPECT_EQ(notice.body, (nlohmann::json{{"type", "error"}, {"error", kExitNotice}, {"exitCode", 3}}));
    // Nothing follows the notice; a disconnect now ends nothing and sends nothing.
    host.Send(DisconnectRequest());
    ExpectVersionNext(host);
  }
}

TEST_F(Lifecycle, PausedOutputAndItsExitNoticeWaitForAResumeOrADisconnect) {
  for (const char* mode : kAllModes) {
    for (const bool disconnect : {false, true}) {
      SCOPED_TRACE(std::string(mode) + (disconnect ? ", disconnect" : ", resume"));
      HostSession& host = StartHost();
      // A read under way at the pause takes "first"; "bye" comes when the readers are held.
      host.Send(ConnectRequest(Client(),
                               {"sleep:300", "out:first", "console:first", "sleep:300", "out:bye",
                                "console:bye", disconnect ? "sleep:30000" : "exit:3"},
                               mode));
      host.Send({{"type", "pauseOutput"}});
      // Past the exit delay, neither the last output nor the notice has come.
      for (const ReceivedMessage& held : host.CollectFor(Milliseconds(2500)))
        EXPECT_FALSE(MentionsBye(held.body) || IsExitNotice()(held.body)) << held.body.dump();
      host.Send(disconnect ? DisconnectRequest() : nlohmann::json{{"type", "resumeOutput"}});
      const ReceivedMessage bye = host.WaitFor(MentionsBye, kClientTimeout, "the held output");
      const ReceivedMessage notice = host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
      EXPECT_LT(bye.sequence, notice.sequence);
    }
  }
}

TEST_F(Lifecycle, DisconnectWhileRunningGetsOnlyTheExitNotice) {
  for (const char* mode : kAllModes) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"out:bye", "console:bye", "sleep:30000"}, mode));
    host.WaitFor(MentionsBye, kClientTimeout, "the client's first output");

    host.Send(DisconnectRequest());
    const auto disconnected = Clock::now();
    // The client's own output may still come in (and the last console text, in the console modes);
    // the disconnect itself gets no reply.
    ReceivedMessage notice = host.Next(kClientTimeout);
    while (IsClientOutput(notice.body)) notice = host.Next(kClientTimeout);
    EXPECT_TRUE(IsExitNotice()(notice.body)) << host.DescribeReceived();
    EXPECT_EQ(notice.body.value("exitCode", -1), Platform().disconnectExitCode);
    EXPECT_LE(SecondsBetween(disconnected, notice.arrival), 3.0);

    host.Send(DisconnectRequest());
    ExpectVersionNext(host);
  }
}

TEST_F(Lifecycle, AConnectRightAfterADisconnectSendsTheOldNoticeAndStartsAtOnce) {
  for (const char* mode : kAllModes) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"out:old", "console:old", "sleep:30000"}, mode));
    host.WaitFor(Mentions("old"), kClientTimeout, "the old client's output");
    host.Send(DisconnectRequest());
    const auto disconnected = Clock::now();
    host.Send(ConnectRequest(Client(), {"out:new", "console:new", "sleep:30000"}, mode));
    const ReceivedMessage fresh = host.WaitFor(Mentions("new"), kClientTimeout, "the new client's output");
    const ReceivedMessage notice = host.WaitFor(IsExitNotice(), kReplyTimeout, "the old client's notice");
    EXPECT_LT(notice.sequence, fresh.sequence);
    // The connect cut short the old notice's wait for the old client's output: had the notice waited
    // the whole delay, it would have come at least that long after the disconnect.
    EXPECT_LT(SecondsBetween(disconnected, notice.arrival),
              std::chrono::duration<double>(kExitNoticeDelay).count());
  }
}

TEST_F(Lifecycle, ConnectWhileConnectedIsIgnoredAndDisconnectAllowsANewClient) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"out:first client", "sleep:30000"}));
  EXPECT_EQ(host.WaitFor(IsType("stdout"), kClientTimeout, "the first client").body.at("outputLine"),
            "first client");

  host.Send(ConnectRequest(Client(), {"out:ignored client"}, kPseudoConsole));
  ExpectVersionNext(host);

  host.Send(DisconnectRequest());
  host.WaitFor(IsExitNotice(), kClientTimeout, "the first client's exit notice");
  host.Send(ConnectRequest(Client(), {"out:third client"}));
  EXPECT_EQ(host.WaitFor(IsType("stdout"), kClientTimeout, "the third client").body.at("outputLine"),
            "third client");
  host.WaitFor(IsExitNotice(), kClientTimeout, "the third client's exit notice");
  for (const ReceivedMessage& message : host.AllReceived()) {
    EXPECT_NE(message.body.value("outputLine", ""), "ignored client");
    EXPECT_NE(message.Type(), "pseudo_console_output") << "the ignored connect changed the mode";
  }
}

TEST_F(Lifecycle, AfterExitTheSessionStaysConnectedUntilDisconnect) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"exit:0"}));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");

  host.Send(ConnectRequest(Client(), {"out:ignored client"}));
  host.Send(StdinRequest("accepted but unread\r\n"));
  ExpectVersionNext(host);

  host.Send(DisconnectRequest());
  // A disconnect after the exit must not produce a second notice.
  for (const ReceivedMessage& message : host.CollectFor(Milliseconds(2500))) {
    ADD_FAILURE() << "unexpected after disconnect: " << message.body.dump();
  }
  host.Send(StdinRequest("x"));
  EXPECT_TRUE(IsError("Not connected")(host.Next(kReplyTimeout).body)) << host.DescribeReceived();

  host.Send(ConnectRequest(Client(), {"out:new client"}));
  EXPECT_EQ(host.WaitFor(IsType("stdout"), kClientTimeout, "the new client").body.at("outputLine"),
            "new client");
  for (const ReceivedMessage& message : host.AllReceived()) {
    EXPECT_NE(message.body.value("outputLine", ""), "ignored client");
  }
}

TEST_F(Lifecycle, StdinToAnExitedClientNeverBlocksTheHost) {
  for (const char* mode : {kConsoleWithoutPolling, kPseudoConsole}) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"exit:0"}, mode));
    host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
    // Far more than any pipe buffer holds, and nobody reads it.
    const std::string block(64 * 1024, 'i');
    for (int i = 0; i < 16; ++i) host.Send(StdinRequest(block));
    ExpectVersionNext(host);
  }
}

TEST_F(Lifecycle, EndOfInputWhileClientRunsEndsHostWithStatusZero) {
  for (const char* mode : kAllModes) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"out:bye", "console:bye", "sleep:30000"}, mode));
    host.WaitFor(MentionsBye, kClientTimeout, "the client's output");
    host.CloseStdin();
    EXPECT_EQ(host.WaitForExit(kReplyTimeout), 0);
  }
}

}  // namespace
}  // namespace snh::conformance
