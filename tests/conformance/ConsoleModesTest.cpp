// The two screen-buffer modes: what the client writes to its console comes back as "console_output",
// read from the top-left cell to the cursor and blanked after each read; with polling while the client
// runs, without polling only after it has ended and before the exit notice.

#include <optional>
#include <string>
#include <vector>

#include "HostTest.h"

namespace snh::conformance {
namespace {

Coord ToCoord(const nlohmann::json& value) { return {value.at("x").get<int>(), value.at("y").get<int>()}; }

struct ConsoleRead {
  Coord size;
  Coord start;
  Coord end;
  std::string text;
};

ConsoleRead ToConsoleRead(const ReceivedMessage& message) {
  EXPECT_EQ(message.body.size(), 2u) << message.body.dump();
  const nlohmann::json& output = message.body.at("consoleOutput");
  EXPECT_EQ(output.size(), 4u) << output.dump();
  return {ToCoord(output.at("consoleSize")), ToCoord(output.at("startPosition")),
          ToCoord(output.at("endPosition")), output.at("characterContent").get<std::string>()};
}

MessagePredicate IsConsoleOutputOrExitNotice() {
  return [](const nlohmann::json& message) {
    return message.at("type") == "console_output" || IsExitNotice()(message);
  };
}

class ConsoleWithPolling : public HostTest {};

TEST_F(ConsoleWithPolling, ConsoleTextArrivesWhileClientRunsRowAfterRow) {
  HostSession& host = StartHost();
  // After each text the client waits for a byte of input, sent only once that text has been read: the
  // reads come from polling while the client runs, not from its exit.
  host.Send(ConnectRequest(Client(), {"console:abc\\r\\nlogin as: ", "read:1", "console:second", "read:1"},
                           kConsoleWithPolling, 0.2));
  const ReceivedMessage first = host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "console text");
  ASSERT_EQ(first.Type(), "console_output") << host.DescribeReceived();
  const ConsoleRead read = ToConsoleRead(first);
  // The size is what the console reports: 50x30 where it can be set, larger where it cannot (Wine).
  ASSERT_GE(read.size.x, 11);
  EXPECT_GE(read.size.y, 2);
  if (Platform().consoleSize) {
    EXPECT_EQ(read.size, *Platform().consoleSize);
  }
  EXPECT_EQ(read.start, (Coord{0, 0}));
  EXPECT_EQ(read.end, (Coord{10, 1}));
  EXPECT_EQ(read.text, "abc" + std::string(static_cast<std::size_t>(read.size.x) - 3, ' ') + "login as: ");

  // The buffer was blanked and the cursor sent home, so the next read holds only the new text.
  host.Send(StdinRequest("1"));
  const ReceivedMessage second =
      host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "more console text");
  ASSERT_EQ(second.Type(), "console_output") << host.DescribeReceived();
  const ConsoleRead next = ToConsoleRead(second);
  EXPECT_EQ(next.start, (Coord{0, 0}));
  EXPECT_EQ(next.end, (Coord{6, 0}));
  EXPECT_EQ(next.text, "second");

  // Reads that find nothing new send nothing, also the last one at the exit.
  host.Send(StdinRequest("2"));
  const ReceivedMessage notice =
      host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_TRUE(IsExitNotice()(notice.body)) << host.DescribeReceived();
}

TEST_F(ConsoleWithPolling, TextEndingOnARowsLastCellIsReadWhole) {
  // 400 cells are whole rows on a screen 50 or 80 wide: each write ends on the last cell of a row.
  std::string first, second;
  for (int i = 0; i < 400; ++i) {
    first += static_cast<char>('a' + i % 26);
    second += static_cast<char>('A' + i % 26);
  }
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"console:" + first, "sleep:800", "console:" + second, "exit:0"},
                           kConsoleWithPolling, 0.2));
  std::string relayed;
  for (;;) {
    const ReceivedMessage message =
        host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "console text");
    if (message.Type() != "console_output") break;
    const ConsoleRead read = ToConsoleRead(message);
    EXPECT_EQ(read.text.size(), static_cast<std::size_t>(read.end.y * read.size.x + read.end.x));
    relayed += read.text;
  }
  EXPECT_EQ(relayed, first + second);
}

TEST_F(ConsoleWithPolling, ResizeAndCloseStdinReachTheClientAndTheNextConnectStartsAfresh) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"out:ready", "read:100", "console:abc", "sleep:2000"},
                           kConsoleWithPolling, 0.2));
  host.WaitFor(IsType("stdout"), kClientTimeout, "the client's ready line");
  host.Send(ResizeRequest(40, 20));
  host.Send(StdinRequest("hi"));
  host.Send(CloseStdinRequest());
  host.Send(StdinRequest("late"));
  EXPECT_TRUE(IsError("Input closed")(host.WaitFor(IsType("error"), kReplyTimeout, "an error").body));
  EXPECT_EQ(host.WaitFor(IsType("stdout"), kClientTimeout, "what the client read").body.at("outputLine"),
            "6869");
  const ConsoleRead read = ToConsoleRead(host.WaitFor(IsType("console_output"), kClientTimeout, "text"));
  EXPECT_EQ(read.size, (Coord{40, 20}));
  EXPECT_EQ(read.text, "abc");
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");

  host.Send(DisconnectRequest());
  host.Send(ConnectRequest(Client(), {"console:again", "exit:0"}));
  const ConsoleRead again =
      ToConsoleRead(host.WaitFor(IsType("console_output"), kClientTimeout, "console text"));
  EXPECT_EQ(again.text, "again");
  if (Platform().consoleSize) {
    EXPECT_EQ(again.size, *Platform().consoleSize);
  }
}

// A process that keeps the first client's console open, leaves its session and ignores hangups writes
// nothing into the next connection's reads.
TEST_F(ConsoleWithPolling, WhatAClientLeavesBehindNeverReachesTheNextConnection) {
  if (Platform().batchFilesRunInCmd) GTEST_SKIP() << "a POSIX shell";
  HostSession& host = StartHost();
  host.Send(ConnectRequest("/bin/sh",
                           {"-c", "exec 3>/dev/tty; setsid sh -c 'trap \"\" HUP; for i in 1 2 3 4 5 6 7 8 9 10 "
                                  "11 12 13 14 15; do sleep 0.2; printf LEAK-FROM-A >&3; done' & sleep 0.5"},
                           kConsoleWithPolling, 0.1));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the first client's exit notice");
  host.Send(DisconnectRequest());
  const std::size_t firstConnection = host.AllReceived().size();
  host.Send(ConnectRequest(Client(), {"console:B", "sleep:1500"}, kConsoleWithPolling, 0.1));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the second client's exit notice");
  host.CollectFor(Milliseconds(1000));
  const std::vector<ReceivedMessage> received = host.AllReceived();
  std::string secondConnection;
  for (std::size_t i = firstConnection; i < received.size(); ++i) {
    if (received[i].Type() == "console_output") secondConnection += ToConsoleRead(received[i]).text;
  }
  EXPECT_EQ(secondConnection.substr(0, 1), "B");
  EXPECT_EQ(secondConnection.find("LEAK"), std::string::npos) << host.DescribeReceived();
}

TEST_F(ConsoleWithPolling, PollingWaitsTheRequestedInterval) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"out:ready", "console:slow", "sleep:4500"}, kConsoleWithPolling, 3.0));
  const ReceivedMessage ready = host.WaitFor(IsType("stdout"), kClientTimeout, "the client's ready line");
  const ReceivedMessage read = host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "console text");
  ASSERT_EQ(read.Type(), "console_output") << host.DescribeReceived();
  EXPECT_EQ(ToConsoleRead(read).text, "slow");
  // The first read comes one interval after the connect, well after the client wrote its text, and
  // still while the client runs.
  EXPECT_GT(SecondsBetween(ready.arrival, read.arrival), 1.0);
  const ReceivedMessage notice = host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_GT(SecondsBetween(read.arrival, notice.arrival), 1.0);
}

struct WithoutPollingCase {
  const char* name;
  std::optional<std::string> mode;
};

std::string CaseName(const ::testing::TestParamInfo<WithoutPollingCase>& param) { return param.param.name; }

class ConsoleWithoutPolling : public HostTest, public ::testing::WithParamInterface<WithoutPollingCase> {};

TEST_P(ConsoleWithoutPolling, ConsoleTextArrivesOnlyAfterExitBeforeTheNotice) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"out:ready", "console:late text", "sleep:1500"}, GetParam().mode));
  const ReceivedMessage ready = host.WaitFor(IsType("stdout"), kClientTimeout, "the client's ready line");

  const ReceivedMessage read = host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "console text");
  ASSERT_EQ(read.Type(), "console_output") << host.DescribeReceived();
  const ConsoleRead content = ToConsoleRead(read);
  EXPECT_EQ(content.text, "late text");
  EXPECT_EQ(content.start, (Coord{0, 0}));
  EXPECT_EQ(content.end, (Coord{9, 0}));
  // The client sleeps 1.5 s: nothing may be read while it runs.
  EXPECT_GT(SecondsBetween(ready.arrival, read.arrival), 1.4);

  const ReceivedMessage notice =
      host.WaitFor(IsConsoleOutputOrExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_TRUE(IsExitNotice()(notice.body)) << host.DescribeReceived();
}

INSTANTIATE_TEST_SUITE_P(Modes, ConsoleWithoutPolling,
                         ::testing::Values(WithoutPollingCase{"Named", kConsoleWithoutPolling},
                                           WithoutPollingCase{"ModeAbsent", std::nullopt},
                                           // An unknown mode keeps the previous one; first connect: this.
                                           WithoutPollingCase{"UnknownModeOnFirstConnect", "PSEUDO_CONSOLE"}),
                         CaseName);

}  // namespace
}  // namespace snh::conformance
