// Bad input from the browser side: each is answered with a clear error (or decoded by the documented
// rule) and the host serves on. A body over 64 MiB is dropped as it arrives, so memory stays flat
// whatever length is announced; one cut short by the end of input ends the host cleanly.

#include <cstdint>
#include <string>
#include <vector>

#include "HostTest.h"
#include "client/FrameCodec.h"
#include "host/FrameReader.h"

namespace snh::conformance {
namespace {

class BadInput : public HostTest {};

const nlohmann::json kInvalidFormat = {{"type", "error"}, {"error", "Invalid format"}};
const nlohmann::json kVersion = {{"type", "version"}, {"version", "2.0.0.0"}};

TEST_F(BadInput, EachIsAnsweredAndTheHostServesOn) {
  std::string manyArguments;
  for (int i = 0; i < 100'000; ++i) manyArguments += R"("-o",)";
  manyArguments += R"("x")";
  struct Row {
    const char* what;
    std::string body;
    nlohmann::json reply;
  };
  const Row rows[] = {
      {"a length of 0", "", kInvalidFormat},
      {"a length of 1", "{", kInvalidFormat},
      {"deep nesting", R"({"type":"getVersion","deep":)" + std::string(1'000'000, '['), kInvalidFormat},
      {"deep nesting, closed",
       R"({"type":"getVersion","deep":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}",
       kInvalidFormat},
      {"duplicate keys: the last wins", R"({"type":"stdin","type":"getVersion"})", kVersion},
      {"a huge arguments array",
       R"({"type":"getVersion","connectParams":{"fileName":"f","arguments":[)" + manyArguments + "]}}",
       kVersion},
      {"invalid UTF-8 in the type",
       "{\"type\":\"getVersion\xff\"}",
       {{"type", "error"}, {"error", "Unkown type"}}},
      {"a lone surrogate in the type",
       R"({"type":"getVersion\udc00"})",
       {{"type", "error"}, {"error", "Unkown type"}}},
  };
  HostSession& host = StartHost();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    host.SendRaw(EncodeFrame(row.body));
    EXPECT_EQ(host.Next(kReplyTimeout).body, row.reply);
  }
  ExpectVersionNext(host);
}

TEST_F(BadInput, IllFormedTextReachesTheClientAsReplacementCharacters) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"echo"}, kConsoleWithoutPolling));
  // A lone surrogate escape, a lone continuation byte, a cut 3-byte character; each one U+FFFD.
  host.SendRaw(
      EncodeFrame("{\"type\":\"stdin\",\"input\":\"a\\ud800b\x80"
                  "c\xe2\x82\"}"));
  const std::string expected =
      "a\xEF\xBF\xBD"
      "b\xEF\xBF\xBD"
      "c\xEF\xBF\xBD";
  while (JoinedOutput(host, "stdout").size() < expected.size()) {
    host.WaitFor(IsType("stdout"), kClientTimeout, "the echoed text");
  }
  EXPECT_EQ(JoinedOutput(host, "stdout"), expected);
  host.Send(StdinRequest("quit"));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
}

TEST_F(BadInput, FileNameEndsAtItsFirstNul) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client() + std::string("\0.missing.exe", 13), {"out:started"}));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  EXPECT_EQ(JoinedOutput(host, "stdout"), "started");
}

TEST_F(BadInput, ThousandArgumentsReachTheClient) {
  std::vector<std::string> arguments = {"argv"};
  for (int i = 0; i < 1000; ++i) arguments.push_back("argument-" + std::to_string(i));
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), arguments));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
  const nlohmann::json argv = nlohmann::json::parse(JoinedOutput(host, "stdout"), nullptr, false);
  ASSERT_TRUE(argv.is_array()) << host.DescribeReceived();
  ASSERT_EQ(argv.size(), arguments.size() + 1);
  for (std::size_t i = 0; i < arguments.size(); ++i) EXPECT_EQ(argv[i + 1], arguments[i]);
}

TEST_F(BadInput, OverLargeFrameIsDroppedAndTheNextOneAnswered) {
  constexpr auto kOverLimit = static_cast<std::uint32_t>(kMaxMessageSize + 1);
  HostSession& host = StartHost();
  host.SendRaw(EncodeLength(kOverLimit) + std::string(kOverLimit, 'x'));
  EXPECT_EQ(host.Next(kClientTimeout).body, kInvalidFormat);
  ExpectVersionNext(host);
}

TEST_F(BadInput, HugeLengthsKeepMemoryFlatAndEndCleanlyWhenInputEnds) {
  constexpr int kStreamedMiB = 128;
  for (const std::uint32_t length : {0x8000'0000u, 0xFFFF'FFFFu}) {
    SCOPED_TRACE(length);
    HostSession& host = StartHost();
    ExpectVersionNext(host);
    const long before = MeasureProcess(host.ProcessId()).residentKiB;
    // The frames after the length are part of its body: not answered on their own.
    host.SendRaw(EncodeLength(length) + EncodeFrame(R"({"type":"getVersion"})"));
    for (int i = 0; i < kStreamedMiB; ++i) host.SendRaw(std::string(1 << 20, 'x'));
    const long after = MeasureProcess(host.ProcessId()).residentKiB;
    EXPECT_LE(after, before + 8 * 1024) << "resident KiB before and after " << kStreamedMiB << " MiB of body";
    host.CloseStdin();
    EXPECT_EQ(host.WaitForExit(kClientTimeout), 0);
    ASSERT_TRUE(host.WaitForEndOfOutput(kReplyTimeout));
    const std::vector<ReceivedMessage> all = host.AllReceived();
    ASSERT_EQ(all.size(), 2u) << host.DescribeReceived();
    EXPECT_EQ(all[1].body, kInvalidFormat);
  }
}

}  // namespace
}  // namespace snh::conformance
