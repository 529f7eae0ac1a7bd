// Mode "pseudo_console": the client's console output comes back raw and as plain text, its title is
// reported, "stdin" feeds its console input, and nothing it does reaches the host's own output.

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "HostTest.h"

namespace snh::conformance {
namespace {

class PseudoConsole : public HostTest {
 protected:
  static nlohmann::json Connect(const std::vector<std::string>& actions) {
    return ConnectRequest(Client(), actions, kPseudoConsole);
  }
};

TEST_F(PseudoConsole, ConsoleTextArrivesRawAndProcessed) {
  HostSession& host = StartHost();
  host.Send(Connect({"console:hello-pseudo\\r\\nsecond-line", "sleep:300"}));
  WaitForProcessedContaining(host, "second-line", kClientTimeout);
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");

  std::string raw;
  std::string processed;
  for (const ReceivedMessage& message : host.AllReceived()) {
    SCOPED_TRACE(message.body.dump());
    EXPECT_NE(message.Type(), "console_output");
    if (message.Type() != "pseudo_console_output") continue;
    ASSERT_EQ(message.body.size(), 2u);
    const nlohmann::json& output = message.body.at("pseudoConsoleOutput");
    ASSERT_TRUE(output.at("rawContent").is_string());
    ASSERT_TRUE(output.at("processedContent").is_string());
    EXPECT_EQ(output.size(), output.contains("windowTitle") ? 3u : 2u);
    raw += output.at("rawContent").get<std::string>();
    processed += output.at("processedContent").get<std::string>();
  }
  EXPECT_NE(raw.find("hello-pseudo"), std::string::npos) << raw;
  if (Platform().pseudoConsoleSendsItsOwnEscapes) {
    EXPECT_NE(raw.find('\x1b'), std::string::npos) << "a pseudo console always sends escape sequences";
  }
  EXPECT_NE(processed.find("hello-pseudo"), std::string::npos) << processed;
  EXPECT_EQ(processed.find('\x1b'), std::string::npos) << processed;
}

TEST_F(PseudoConsole, WindowTitleIsReported) {
  HostSession& host = StartHost();
  host.Send(Connect({"set-title:snh title 42", "console:after-title", "sleep:300"}));
  const ReceivedMessage titled = host.WaitFor(
      [](const nlohmann::json& message) {
        return message.at("type") == "pseudo_console_output" &&
               message.at("pseudoConsoleOutput").contains("windowTitle");
      },
      kClientTimeout, "a message with a window title");
  EXPECT_EQ(titled.body.at("pseudoConsoleOutput").at("windowTitle"), "snh title 42");
  // The text may come in the same message as the title (a pty passes both in one read) or later.
  WaitForProcessedContaining(host, "after-title", kClientTimeout,
                             titled.body.at("pseudoConsoleOutput").at("processedContent").get<std::string>());
}

TEST_F(PseudoConsole, ProcessedContentLeftOutWhenAskedKeepsTheTitle) {
  HostSession& host = StartHost();
  nlohmann::json connect = Connect({"set-title:snh title 42", "console:after-title", "sleep:300"});
  connect["connectParams"]["omitProcessedContent"] = true;
  host.Send(connect);
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  std::string raw;
  std::string title;
  for (const ReceivedMessage& message : host.AllReceived()) {
    const nlohmann::json output = message.body.value("pseudoConsoleOutput", nlohmann::json::object());
    EXPECT_FALSE(output.contains("processedContent")) << message.body.dump();
    raw += output.value("rawContent", "");
    title = output.value("windowTitle", title);
  }
  EXPECT_NE(raw.find("after-title"), std::string::npos) << raw;
  EXPECT_EQ(title, "snh title 42");
}

TEST_F(PseudoConsole, StdinReachesTheConsoleInputUnchanged) {
  HostSession& host = StartHost();
  host.Send(Connect({"console-read:5", "sleep:300"}));
  host.Send(StdinRequest("ab"));
  host.Send(StdinRequest(""));
  host.Send(StdinRequest("cde"));
  // The client reads exactly five characters: an added line end would show inside them.
  WaitForProcessedContaining(host, "got:abcde", kClientTimeout);
}

TEST_F(PseudoConsole, ResizeReachesTheClientAndItsInputHasNoEnd) {
  HostSession& host = StartHost();
  host.Send(Connect({"console-read:1", "size", "sleep:300"}));
  host.Send(ResizeRequest(120, 40));
  host.Send(CloseStdinRequest());
  host.Send(StdinRequest("x"));
  std::string error = host.WaitFor(IsType("error"), kReplyTimeout, "an error").body.at("error");
  if (error.starts_with("ResizePseudoConsole failed.")) {
    EXPECT_TRUE(error.starts_with("ResizePseudoConsole failed. -0x7fffbfff ")) << error;
    error = host.WaitFor(IsType("error"), kReplyTimeout, "closeStdin's error").body.at("error");
  } else {
    WaitForProcessedContaining(host, "size:120x40", kClientTimeout);
  }
  EXPECT_TRUE(error.starts_with("closeStdin is not available in pseudo_console mode")) << error;
}

TEST_F(PseudoConsole, ClientGetsATermWhereTheHostHasNone) {
  const char* original = std::getenv("TERM");
  HostPlatform::SetEnvironment("TERM", std::nullopt);
  HostSession& host = StartHost();
  HostPlatform::SetEnvironment("TERM", original ? std::optional<std::string>(original) : std::nullopt);
  host.Send(Connect({"env:TERM", "sleep:300"}));
  const std::optional<std::string> term = Platform().defaultTerm;
  WaitForProcessedContaining(host, term ? "env:TERM=" + *term : "env:TERM unset", kClientTimeout);
}

TEST_F(PseudoConsole, ClientStandardHandlesAreThePseudoConsoleOrNothing) {
  // Whatever the client's standard handles turn out to be, its writes must not land between frames
  // (the harness fails the test on the first stray byte) nor come back as stdout or stderr messages.
  HostSession& host = StartHost();
  host.Send(Connect({"out:stray stdout\\r\\n", "err:stray stderr\\r\\n", "printf:stray printf\\r\\n",
                     "eprintf:stray eprintf\\r\\n", "console:console-text", "out:\\x05\\x00\\x00\\x00[1,2]",
                     "read:6", "sleep:300"}));
  std::string processed = WaitForProcessedContaining(host, "console-text", kClientTimeout);
  if (Platform().pseudoConsoleCarriesStandardStreams) {
    // Typed text reaches the client's standard input: it prints what it read, hex-encoded.
    host.Send(StdinRequest("typed!\r"));
    processed = WaitForProcessedContaining(host, "747970656421", kClientTimeout, processed);
  }
  // Elsewhere (Wine) its standard handles are empty: its read ends at once, with nothing typed.
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  ExpectVersionNext(host);
  EXPECT_TRUE(host.ProtocolFailures().empty());
  for (const ReceivedMessage& message : host.AllReceived()) {
    EXPECT_TRUE(message.Type() != "stdout" && message.Type() != "stderr") << message.body.dump();
  }
  if (Platform().pseudoConsoleCarriesStandardStreams) {
    for (const char* text : {"stray stdout", "stray stderr", "stray printf", "stray eprintf"}) {
      EXPECT_NE(processed.find(text), std::string::npos) << text << " is missing from " << processed;
    }
  }
}

TEST_F(PseudoConsole, UnterminatedTitleCommandDoesNotHoldBackText) {
  // The console passes the unfinished title command on and then 64 KiB of text with no ESC after it.
  // That text must reach the extension as it comes, not all at once when some later sequence ends
  // the command, and no message may grow past 1 MiB (the harness checks every frame's size).
  HostSession& host = StartHost();
  host.Send(
      Connect({"console:\\e]0;", "console-fill:65536", "console:\\r\\nafter-the-flood\\r\\n", "sleep:500"}));
  WaitForProcessedContaining(host, "after-the-flood", Milliseconds(30000));

  constexpr std::size_t kMostHeldBack = 16 * 1024;
  std::size_t raw = 0;
  std::size_t processed = 0;
  for (const ReceivedMessage& message : host.AllReceived()) {
    if (message.Type() != "pseudo_console_output") continue;
    raw += message.body.at("pseudoConsoleOutput").at("rawContent").get<std::string>().size();
    processed += message.body.at("pseudoConsoleOutput").at("processedContent").get<std::string>().size();
    ASSERT_LE(raw, processed + kMostHeldBack) << "text held back after message #" << message.sequence << "\n"
                                              << host.DescribeReceived();
  }
  EXPECT_GT(raw, std::size_t{65536});
}

}  // namespace
}  // namespace snh::conformance
