// Failures the extension must hear about in words: a client program that cannot be started.

#include <string>

#include "HostTest.h"

namespace snh::conformance {
namespace {

class Faults : public HostTest {};

TEST_F(Faults, MissingProgramReportsCreateProcessFailureThenHostExits) {
  for (const char* mode : {kConsoleWithoutPolling, kConsoleWithPolling, kPseudoConsole}) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client() + ".missing.exe", {"-V"}, mode));
    const ReceivedMessage reply = host.Next(kClientTimeout);
    ASSERT_EQ(reply.Type(), "error") << host.DescribeReceived();
    const std::string text = reply.body.at("error").get<std::string>();
    const std::string prefix = "CreateProcess failed. 0x2 ";
    ASSERT_EQ(text.substr(0, prefix.size()), prefix) << text;
    // Then the system's own text for the code, as the system words it (with its line end, if any).
    const std::string systemText = text.substr(prefix.size());
    EXPECT_GT(systemText.size(), 2u) << text;
    EXPECT_TRUE(systemText.ends_with(Platform().systemTextEnd)) << text;
    if (Platform().missingFileText) {
      EXPECT_EQ(systemText, *Platform().missingFileText + Platform().systemTextEnd);
    }
    // The host stops after reporting a failed system call, without waiting for its input to end.
    EXPECT_EQ(host.WaitForExit(kReplyTimeout), 0);
    ASSERT_TRUE(host.WaitForEndOfOutput(kReplyTimeout));
    EXPECT_EQ(host.AllReceived().size(), 1u) << host.DescribeReceived();
  }
}

}  // namespace
}  // namespace snh::conformance
