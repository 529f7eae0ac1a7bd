// The byte level of the channel: lengths are binary, frames may be split or packed, and the end of
// input ends the host cleanly whatever state the frame reader is in.

#include <string>
#include <vector>

#include "HostTest.h"
#include "client/FrameCodec.h"

namespace snh::conformance {
namespace {

class Framing : public HostTest {};

const char* const kGetVersion = R"({"type":"getVersion"})";

std::string PaddedGetVersion(std::size_t size) {
  std::string body = kGetVersion;
  body.resize(size, ' ');
  return body;
}

TEST_F(Framing, LengthBytesThatLookLikeTextControlsAreOrdinary) {
  struct Row {
    std::string body;
    const char* replyType;
    std::string error;
  };
  // 0x0A, 0x0D and 0x1A must not be translated or taken for end of file in any length byte.
  const Row rows[] = {
      {R"({"type":1})", "error", "Invalid format"},  // 10 bytes
      {R"({"type":"ab"})", "error", "Unkown type"},  // 13 bytes
      {PaddedGetVersion(0x1A), "version", ""},      {PaddedGetVersion(0x10A), "version", ""},
      {PaddedGetVersion(0x0D0A), "version", ""},    {PaddedGetVersion(0x0A0D), "version", ""},
      {PaddedGetVersion(0x1A0A), "version", ""},    {PaddedGetVersion(0x0A1A0D), "version", ""},
  };
  std::string bytes;
  for (const Row& row : rows) bytes += EncodeFrame(row.body);
  bytes += EncodeFrame(kGetVersion);

  HostSession& host = StartHost();
  host.SendRaw(bytes);
  for (const Row& row : rows) {
    SCOPED_TRACE("body of " + std::to_string(row.body.size()) + " bytes");
    const ReceivedMessage reply = host.Next(kReplyTimeout);
    EXPECT_EQ(reply.Type(), row.replyType);
    if (!row.error.empty()) {
      EXPECT_EQ(reply.body.value("error", ""), row.error);
    }
  }
  EXPECT_EQ(host.Next(kReplyTimeout).Type(), "version");
}

TEST_F(Framing, RepliesWhoseLengthHoldsTextControlBytesArriveIntact) {
  HostSession& host = StartHost();
  host.Send(ConnectRequest(Client(), {"echo"}));
  // The serialised size of a stdout message grows one for one with plain ASCII text; a probe tells
  // the overhead, so that the next messages can be given lengths whose low byte is 0x0A, 0x0D, 0x1A.
  host.Send(StdinRequest("probe"));
  const ReceivedMessage probe = host.WaitFor(IsType("stdout"), kClientTimeout, "the echoed probe");
  ASSERT_EQ(probe.body.at("outputLine"), "probe");
  const std::uint32_t overhead = probe.frameLength - 5;

  for (std::uint32_t frameLength : {0x10Au, 0x10Du, 0x11Au, 0x20Au, 0x30Du, 0x31Au}) {
    SCOPED_TRACE("frame length " + std::to_string(frameLength));
    const std::string text(frameLength - overhead, 'x');
    host.Send(StdinRequest(text));
    const ReceivedMessage echoed = host.WaitFor(IsType("stdout"), kReplyTimeout, "the echoed text");
    EXPECT_EQ(echoed.body.at("outputLine"), text);
    EXPECT_EQ(echoed.frameLength, frameLength);
  }
  host.Send(StdinRequest("quit"));
  host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
}

TEST_F(Framing, FrameSplitAcrossWritesIsReassembled) {
  HostSession& host = StartHost();
  const std::string frame = EncodeFrame(kGetVersion);
  for (std::size_t cut : {1u, 3u, 4u, 9u}) {
    SCOPED_TRACE("cut after byte " + std::to_string(cut));
    host.SendRaw(frame.substr(0, cut));
    // The host must wait for the rest rather than act on a part.
    EXPECT_TRUE(host.CollectFor(Milliseconds(150)).empty());
    host.SendRaw(frame.substr(cut));
    EXPECT_EQ(host.Next(kReplyTimeout).Type(), "version");
  }
}

TEST_F(Framing, ManyFramesInOneWriteAreEachAnswered) {
  constexpr int kFrames = 200;
  std::string bytes;
  for (int i = 0; i < kFrames; ++i)
    bytes += EncodeFrame(i % 2 == 0 ? kGetVersion : R"({"type":"readConsole"})");
  HostSession& host = StartHost();
  host.SendRaw(bytes);
  for (int i = 0; i < kFrames; ++i) {
    SCOPED_TRACE("reply " + std::to_string(i));
    const ReceivedMessage reply = host.Next(kReplyTimeout);
    EXPECT_EQ(reply.Type(), i % 2 == 0 ? "version" : "error");
  }
}

TEST_F(Framing, LargeRequestIsReadWhole) {
  // Browsers send requests of many megabytes; a host that reads in pieces must still find the end.
  const nlohmann::json request = {{"type", "getVersion"}, {"note", std::string(3 * 1024 * 1024, 'n')}};
  HostSession& host = StartHost();
  host.Send(request);
  host.Send(request);
  EXPECT_EQ(host.Next(kReplyTimeout).Type(), "version");
  EXPECT_EQ(host.Next(kReplyTimeout).Type(), "version");
}

struct EndOfInputCase {
  const char* name;
  std::string input;
  std::vector<nlohmann::json> replies;
};

std::string CaseName(const ::testing::TestParamInfo<EndOfInputCase>& param) { return param.param.name; }

class FramingEndOfInput : public HostTest, public ::testing::WithParamInterface<EndOfInputCase> {};

TEST_P(FramingEndOfInput, EndsHostWithStatusZero) {
  HostSession& host = StartHost();
  host.SendRaw(GetParam().input);
  host.CloseStdin();
  EXPECT_EQ(host.WaitForExit(kReplyTimeout), 0);
  ASSERT_TRUE(host.WaitForEndOfOutput(kReplyTimeout));
  std::vector<nlohmann::json> replies;
  for (const ReceivedMessage& message : host.AllReceived()) replies.push_back(message.body);
  EXPECT_EQ(replies, GetParam().replies);
}

const nlohmann::json kVersionReply = {{"type", "version"}, {"version", "2.0.0.0"}};
const nlohmann::json kInvalidFormat = {{"type", "error"}, {"error", "Invalid format"}};

INSTANTIATE_TEST_SUITE_P(
    Framing, FramingEndOfInput,
    ::testing::Values(
        EndOfInputCase{"NoInputAtAll", "", {}},
        EndOfInputCase{"TwoLengthBytes", std::string("\x15\x00", 2), {}},
        EndOfInputCase{"ThreeLengthBytesAfterAFrame",
                       EncodeFrame(kGetVersion) + std::string("\x15\x00\x00", 3),
                       {kVersionReply}},
        EndOfInputCase{"LengthWithoutBody", EncodeLength(21), {kInvalidFormat}},
        // The missing bytes count as zeros: a whole object before them still decodes.
        EndOfInputCase{"BodyCutShortAfterTheObject", EncodeLength(30) + kGetVersion, {kVersionReply}},
        EndOfInputCase{
            "BodyCutShortInsideTheObject", EncodeLength(30) + R"({"type":"getVer)", {kInvalidFormat}}),
    CaseName);

}  // namespace
}  // namespace snh::conformance
