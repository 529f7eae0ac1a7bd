// Failures the extension must hear about in words, and faults from either side that the host must
// survive without losing anything: programs that cannot be started, a browser that stops reading or
// ends the input at awkward moments, a client killed from outside, one that never reads its input, and
// one that floods both output streams while input streams in.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <thread>

#include "FloodText.h"
#include "HostTest.h"
#include "client/FrameCodec.h"

namespace snh::conformance {
namespace {

class Faults : public HostTest {
 protected:
  // The client's "pid" line, from the stdout messages received so far; 0 until it came.
  static unsigned long ClientPid(const HostSession& host) {
    const std::string text = JoinedOutput(host, "stdout");
    const std::size_t at = text.find("pid:");
    const std::size_t end = text.find('\n', at);
    if (at == std::string::npos || end == std::string::npos) return 0;
    return std::stoul(text.substr(at + 4, end - at - 4));
  }
  void FloodLosesNothing(bool paused);
};

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

TEST_F(Faults, ProgramPathsThatCannotRunReportCreateProcessFailureThenHostExits) {
  const std::filesystem::path client(Client());
  const std::filesystem::path notAProgram =
      std::filesystem::temp_directory_path() /
      ("snh-not-a-program-" + std::to_string(Clock::now().time_since_epoch().count()) + ".exe");
  std::ofstream(notAProgram) << "not a program\n";
  struct Row {
    const char* what;
    std::string path;
  };
  const Row rows[] = {
      {"a directory", client.parent_path().string()},
      {"a file that is not a program", notAProgram.string()},
      {"a path longer than any system takes", client.string() + std::string(40000, 'x')},
  };
  for (const Row& row : rows) {
    for (const char* mode : {kConsoleWithoutPolling, kPseudoConsole}) {
      SCOPED_TRACE(std::string(row.what) + ", " + mode);
      HostSession& host = StartHost();
      host.Send(ConnectRequest(row.path, {}, mode));
      const ReceivedMessage reply = host.Next(kClientTimeout);
      ASSERT_EQ(reply.Type(), "error") << host.DescribeReceived();
      const std::string text = reply.body.at("error").get<std::string>();
      EXPECT_TRUE(text.starts_with("CreateProcess failed. 0x")) << text;
      EXPECT_FALSE(text.starts_with("CreateProcess failed. 0x0 ")) << text;
      EXPECT_EQ(host.WaitForExit(kReplyTimeout), 0);
      ASSERT_TRUE(host.WaitForEndOfOutput(kReplyTimeout));
      EXPECT_EQ(host.AllReceived().size(), 1u) << host.DescribeReceived();
    }
  }
  std::filesystem::remove(notAProgram);
}

TEST_F(Faults, BrowserClosingTheHostOutputLeavesItServingUntilInputEnds) {
  for (const char* mode : {kConsoleWithoutPolling, kPseudoConsole}) {
    SCOPED_TRACE(mode);
    // Driven directly: the session's reader would keep the output open.
    const auto host = StartChildProcess(Options().hostProgram, {"chrome-extension://test/"});
    ASSERT_TRUE(host->WriteInput(EncodeFrame(
        ConnectRequest(Client(), {"console-fill:8000000", "utf8-flood:3000000", "sleep:30000"}, mode)
            .dump())));
    std::size_t received = 0;
    char buffer[4096];
    while (received < 64 * 1024) {
      const std::size_t count = host->ReadOutput(buffer);
      ASSERT_GT(count, 0u) << "output ended early";
      received += count;
    }
    host->CloseOutput();  // while the client still writes
    // Every request is still read and answered into the closed pipe; the host runs until input ends.
    ASSERT_TRUE(host->WriteInput(EncodeFrame(DisconnectRequest().dump())));
    for (int i = 0; i < 500; ++i) {
      ASSERT_TRUE(host->WriteInput(EncodeFrame(GetVersionRequest().dump())));
      ASSERT_TRUE(host->WriteInput(EncodeFrame(StdinRequest(std::string(1024, 'i')).dump())));
    }
    EXPECT_EQ(host->WaitForExit(Milliseconds(1000)), std::nullopt) << "the host ended before its input";
    host->CloseInput();
    EXPECT_EQ(host->WaitForExit(kClientTimeout), 0);
    std::string errors;
    while (const std::size_t count = host->ReadError(buffer)) errors.append(buffer, count);
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << errors;
  }
}

TEST_F(Faults, InputEndingInsideAFrameEndsTheHostWithStatusZero) {
  const std::string connect = EncodeFrame(ConnectRequest(Client(), {"sleep:30000"}).dump());
  const std::string getVersion = EncodeFrame(R"({"type":"getVersion"})");
  struct Row {
    const char* what;
    std::string bytes;
    std::vector<std::string> replies;  // the types, in order
  };
  const Row rows[] = {
      {"two bytes of a length", getVersion.substr(0, 2), {}},
      {"a length and nothing more", getVersion.substr(0, 4), {"error"}},
      // The missing bytes count as NUL, where the text ends: this one still decodes.
      {"a body announced longer than sent", EncodeLength(40) + R"({"type":"getVersion"})", {"version"}},
      {"half a connect", connect.substr(0, connect.size() / 2), {"error"}},
      {"a whole request, then half a length", getVersion + getVersion.substr(0, 3), {"version"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HostSession& host = StartHost();
    host.SendRaw(row.bytes);
    host.CloseStdin();
    EXPECT_EQ(host.WaitForExit(kClientTimeout), 0);
    ASSERT_TRUE(host.WaitForEndOfOutput(kReplyTimeout));
    const std::vector<ReceivedMessage> all = host.AllReceived();
    ASSERT_EQ(all.size(), row.replies.size()) << host.DescribeReceived();
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].Type(), row.replies[i]);
  }
}

TEST_F(Faults, InputEndingDuringConnectOrDisconnectEndsTheHostWithStatusZero) {
  for (const char* mode : {kConsoleWithoutPolling, kConsoleWithPolling, kPseudoConsole}) {
    SCOPED_TRACE(mode);
    {
      SCOPED_TRACE("right after a connect, while the client starts");
      HostSession& host = StartHost();
      host.Send(ConnectRequest(Client(), {"sleep:30000"}, mode));
      host.CloseStdin();
      EXPECT_EQ(host.WaitForExit(kClientTimeout), 0);
    }
    {
      SCOPED_TRACE("right after a disconnect, while it ends the client");
      HostSession& host = StartHost();
      host.Send(ConnectRequest(Client(), {"out:up", "console:up", "sleep:30000"}, mode));
      host.WaitFor([](const nlohmann::json&) { return true; }, kClientTimeout, "the client's first output");
      host.Send(DisconnectRequest());
      host.CloseStdin();
      EXPECT_EQ(host.WaitForExit(kClientTimeout), 0);
    }
  }
}

TEST_F(Faults, ClientKilledFromOutsideIsReportedAndANewClientCanStart) {
  for (const char* mode : {kConsoleWithoutPolling, kConsoleWithPolling}) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"pid", "sleep:30000"}, mode));
    const auto deadline = Clock::now() + kClientTimeout;
    while (ClientPid(host) == 0 && Clock::now() < deadline) host.CollectFor(Milliseconds(50));
    const unsigned long pid = ClientPid(host);
    ASSERT_NE(pid, 0u) << host.DescribeReceived();
    KillProcess(pid);
    host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
    // Still connected: input is taken, and dropped.
    host.Send(StdinRequest("into the void"));
    host.Send(DisconnectRequest());
    host.Send(ConnectRequest(Client(), {"out:again", "exit:0"}, mode));
    host.WaitFor(IsType("stdout"), kClientTimeout, "the second client's output");
    host.WaitFor(IsExitNotice(), kClientTimeout, "the second exit notice");
    ExpectVersionNext(host);
  }
}

TEST_F(Faults, ClientDiesWithAKilledHostAndInheritsNothingElseOfIt) {
  const std::string stray = "fd:" + std::to_string(LeaveInheritableHandle());  // the host inherits it
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {stray, "ignore-hangup", "pid", "sleep:30000"}));
  const auto deadline = Clock::now() + kClientTimeout;
  while (ClientPid(host) == 0 && Clock::now() < deadline) host.CollectFor(Milliseconds(50));
  const unsigned long pid = ClientPid(host);
  EXPECT_EQ(JoinedOutput(host, "stdout"), stray + " closed\npid:" + std::to_string(pid) + "\n");
  KillProcess(host.ProcessId());
  while (ProcessRunning(pid) && Clock::now() < deadline) std::this_thread::sleep_for(Milliseconds(50));
  EXPECT_FALSE(ProcessRunning(pid)) << "the client outlived its host";
}

TEST_F(Faults, ClientThatNeverReadsItsInputLeavesRequestsAnswered) {
  for (const char* mode : {kConsoleWithoutPolling, kPseudoConsole}) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"out:ready", "console:ready", "sleep:60000"}, mode));
    host.WaitFor([](const nlohmann::json&) { return true; }, kClientTimeout, "the client's first output");
    // 16 MiB nobody reads, refused past 8 MiB (4 MiB to a pty, which drops what overflows a line).
    const bool pseudoConsole = std::string(mode) == kPseudoConsole;
    const std::string block(64 * 1024, 'i');
    for (int i = 0; i < (pseudoConsole ? 64 : 256); ++i) host.Send(StdinRequest(block));
    if (!pseudoConsole) host.WaitFor(IsError("Input queue full"), kReplyTimeout, "a refusal");
    host.Send(GetVersionRequest());
    host.WaitFor(IsType("version"), kReplyTimeout, "the version reply behind the unread input");
    host.Send(DisconnectRequest());
    host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice after the disconnect");
    // The next client gets its own input and nothing of the last one's.
    host.Send(ConnectRequest(Client(), {pseudoConsole ? "console-read:5" : "read:5", "exit:0"}, mode));
    host.Send(StdinRequest("fresh"));
    if (pseudoConsole) {
      WaitForProcessedContaining(host, "got:fresh", kClientTimeout);
    } else {
      host.WaitFor(IsExitNotice(), kClientTimeout, "the second client's exit notice");
      EXPECT_EQ(JoinedOutput(host, "stdout"), "ready" + std::string("6672657368"));
    }
  }
}

TEST_F(Faults, InputQueuedForASlowClientArrivesWhole) {
  // Six megabytes, within what the host queues: it waits there until the client reads.
  constexpr std::size_t kBlock = 64 * 1024;
  constexpr int kBlocks = 96;
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"sleep:1000", "flood:0"}, kConsoleWithoutPolling));
  for (int i = 0; i < kBlocks; ++i) host.Send(StdinRequest(std::string(kBlock, 'i')));
  host.Send(StdinRequest("quit"));
  host.WaitFor(IsExitNotice(), Milliseconds(120000), "the exit notice");
  EXPECT_EQ(JoinedOutput(host, "stdout"), "stdin-bytes:" + std::to_string(kBlock * kBlocks) + "\n");
}

#ifndef _WIN32
TEST_F(Faults, ConnectShortOfDescriptorsLeavesTheHostToExitWithStatusZero) {
#ifdef __SANITIZE_ADDRESS__
  // UBSan tells a valid object from a wild pointer through a pipe, which it cannot open here.
  GTEST_SKIP() << "the sanitizer runtime needs descriptors of its own";
#endif
  for (int limit = 8; limit <= 24; ++limit) {  // each fails the connect at another step, or none
    HostSession host(
        "/bin/sh", {"-c", "ulimit -n " + std::to_string(limit) + " && exec \"$0\" x", Options().hostProgram});
    host.Send(ConnectRequest(Client(), {"sleep:30000"}, kPseudoConsole));
    host.CloseStdin();
    EXPECT_EQ(host.WaitForExit(kClientTimeout), 0) << limit << " descriptors\n" << host.DescribeReceived();
  }
}

TEST_F(Faults, StandardStreamsHandedOverNonBlockingLoseNothing) {
  const char* nonBlocking =
      "import os, sys; [os.set_blocking(fd, False) for fd in (0, 1)]; os.execv(sys.argv[1], sys.argv[1:])";
  HostSession host("python3", {"-c", nonBlocking, Options().hostProgram});
  host.Send(ConnectRequest(Client(), {"utf8-flood:1000000", "sleep:200"}));
  host.WaitFor(IsExitNotice(), Milliseconds(60000), "the exit notice");
  EXPECT_EQ(JoinedOutput(host, "stdout").size(), 3000000u);
}

TEST_F(Faults, ConnectThatCannotWatchItsClientEndsItAndNamesTheCall) {
  HostSession host(Client(), {"without-pidfd-open", Options().hostProgram});
  host.Send(ConnectRequest(Client(), {"sleep:60000"}, kConsoleWithoutPolling));
  const ReceivedMessage reply = host.Next(kClientTimeout);  // not once the client has slept its minute
  EXPECT_EQ(reply.body.value("error", "").rfind("pidfd_open failed. 0x26 ", 0), 0u)
      << host.DescribeReceived();
  host.CloseStdin();
  EXPECT_EQ(host.WaitForExit(kClientTimeout), 0);
}

TEST_F(Faults, DisconnectEndsADaemonAndAShellsJobTheClientStarted) {
  // The daemon is orphaned, in a session of its own and ignores SIGHUP; the job of an interactive shell
  // has a process group of its own.
  HostSession& host = StartHost();
  host.Send(ConnectRequest("/bin/bash",
                           {"--norc", "--noprofile", "-i", "-c",
                            R"("$0" daemon:60000; sleep 60 & echo "job:$! started"; wait)", Client()},
                           kPseudoConsole));
  const std::string text = WaitForProcessedContaining(host, " started", kClientTimeout);
  const unsigned long daemon = std::stoul(text.substr(text.find("daemon:") + 7));
  const unsigned long job = std::stoul(text.substr(text.find("job:") + 4));
  ASSERT_TRUE(ProcessRunning(daemon) && ProcessRunning(job)) << text;
  host.Send(DisconnectRequest());
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  ExpectVersionNext(host);  // the disconnect is over
  for (const unsigned long pid : {daemon, job}) {
    EXPECT_FALSE(ProcessRunning(pid)) << pid << " outlived the disconnect\n" << text;
    if (ProcessRunning(pid)) KillProcess(pid);
  }
}
#endif

// Also in large messages held by a pause as input streams in: the client blocks, nothing is lost.
void Faults::FloodLosesNothing(bool paused) {
  constexpr std::size_t kFlood = 1 << 20;
  constexpr std::size_t kInputBlock = 8 * 1024;
  constexpr int kInputBlocks = 128;
  constexpr std::size_t kMessage = 64 * 1024;
  HostSession& host = StartHost();
  nlohmann::json connect =
      ConnectRequest(Client(), {"flood:" + std::to_string(kFlood)}, kConsoleWithoutPolling);
  if (paused) connect["connectParams"]["maxOutputBytes"] = kMessage;
  host.Send(connect);
  if (paused) host.Send({{"type", "pauseOutput"}});
  for (int i = 0; i < kInputBlocks; ++i) host.Send(StdinRequest(std::string(kInputBlock, 'i')));
  host.Send(StdinRequest("quit"));
  if (paused) {
    host.Send(GetVersionRequest());
    host.WaitFor(IsType("version"), kReplyTimeout, "the reply while paused");
    host.CollectFor(Milliseconds(500));
    // Each reader has sent at most a read begun before the pause and one under way at it.
    EXPECT_LE(JoinedOutput(host, "stdout").size() + JoinedOutput(host, "stderr").size(), 4 * kMessage);
    host.Send({{"type", "resumeOutput"}});
  }
  host.WaitFor(IsExitNotice(), Milliseconds(120000), "the exit notice");
  const std::string stdinCount = "stdin-bytes:" + std::to_string(kInputBlock * kInputBlocks) + "\n";
  const std::string out = JoinedOutput(host, "stdout");
  const std::string err = JoinedOutput(host, "stderr");
  ASSERT_EQ(out.size(), kFlood + stdinCount.size());
  EXPECT_TRUE(out == test_client::FloodText('o', 0, kFlood) + stdinCount) << "stdout differs";
  ASSERT_EQ(err.size(), kFlood);
  EXPECT_TRUE(err == test_client::FloodText('e', 0, kFlood)) << "stderr differs";
  EXPECT_TRUE(IsExitNotice()(host.AllReceived().back().body)) << "output after the exit notice";
}

TEST_F(Faults, FloodOnStdoutAndStderrWhileInputStreamsInLosesNothing) { FloodLosesNothing(false); }
TEST_F(Faults, PausedFloodInLargeMessagesLosesNothing) { FloodLosesNothing(true); }

TEST_F(Faults, DisconnectDuringTheExitDelayGivesOneNoticeAndANewClientCanStart) {
  for (const char* mode : {kConsoleWithoutPolling, kConsoleWithPolling, kPseudoConsole}) {
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    host.Send(ConnectRequest(Client(), {"out:bye", "console:bye", "exit:0"}, mode));
    host.WaitFor([](const nlohmann::json&) { return true; }, kClientTimeout, "the client's output");
    host.Send(DisconnectRequest());  // the client has ended; its notice is a second away
    host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
    host.Send(ConnectRequest(Client(), {"out:again", "console:again", "sleep:500", "exit:0"}, mode));
    host.WaitFor(IsExitNotice(), kClientTimeout, "the second client's exit notice");
    int notices = 0;
    for (const ReceivedMessage& message : host.AllReceived()) notices += IsExitNotice()(message.body) ? 1 : 0;
    EXPECT_EQ(notices, 2) << host.DescribeReceived();
    ExpectVersionNext(host);
  }
}

}  // namespace
}  // namespace snh::conformance
