#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/SystemError.h"
#include "codec/RequestRefused.h"
#include "host/RecordedMessages.h"
#include "host/RequestDispatcher.h"

namespace snh {
namespace {

using nlohmann::json;

class FakeSession final : public SessionControl {
 public:
  void ConnectSSH(const ConnectParams& params) override {
    calls.push_back("connect " + params.fileName);
    if (failConnect) throw SystemError("CreateProcess failed. 0x2 File not found.\r\n");
    if (refuseConnect) throw RequestRefused("refused");
    connected = true;
  }
  bool IsConnected() override { return connected; }
  void WriteInput(std::string text) override { calls.push_back("input " + text); }
  void Disconnect() override {
    calls.push_back("disconnect");
    connected = false;
  }
  void Resize(Coord) override {}
  void CloseInput() override {}
  void SetOutputPaused(bool) override {}

  std::vector<std::string> calls;
  bool connected = false;
  bool failConnect = false;
  bool refuseConnect = false;
};

class ScriptedRequests final : public ByteSource {
 public:
  explicit ScriptedRequests(const std::vector<std::string>& bodies) {
    for (const std::string& body : bodies) {
      const auto length = static_cast<std::uint32_t>(body.size());
      for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<char>(length >> shift));
      bytes_ += body;
    }
  }
  std::size_t Read(char* buffer, std::size_t capacity) override {
    const std::size_t count = std::min(capacity, bytes_.size() - at_);
    bytes_.copy(buffer, count, at_);
    at_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
};

struct LoopResult {
  std::vector<json> replies;
  std::vector<std::string> calls;
};

LoopResult RunRequests(const std::vector<std::string>& bodies, FakeSession session = {}) {
  testing::RecordedMessages output;
  JsonModule module(output);
  ScriptedRequests input(bodies);
  RunRequestLoop(input, module, session, [] { return std::string("2.0.0.0"); });
  return LoopResult{output.Messages(), session.calls};
}

json Error(const char* text) { return json{{"type", "error"}, {"error", text}}; }

struct DispatchCase {
  const char* name;
  std::string request;
  bool connected;
  std::vector<json> replies;
  std::vector<std::string> calls;
};

class DispatchTable : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchTable, AnswersAndCallsTheSessionAsTheTableSays) {
  const DispatchCase& c = GetParam();
  FakeSession session;
  session.connected = c.connected;
  const LoopResult run = RunRequests({c.request}, session);
  EXPECT_EQ(run.replies, c.replies);
  EXPECT_EQ(run.calls, c.calls);
}

const std::string kConnect = R"({"type":"connect","connectParams":{"fileName":"ssh.exe","arguments":[]}})";

INSTANTIATE_TEST_SUITE_P(
    RequestDispatcher, DispatchTable,
    ::testing::Values(
        DispatchCase{"GetVersion",
                     R"({"type":"getVersion"})",
                     false,
                     {json{{"type", "version"}, {"version", "2.0.0.0"}}},
                     {}},
        DispatchCase{"GetVersionWhileConnected",
                     R"({"type":"getVersion"})",
                     true,
                     {json{{"type", "version"}, {"version", "2.0.0.0"}}},
                     {}},
        DispatchCase{"Connect", kConnect, false, {}, {"connect ssh.exe"}},
        DispatchCase{"ConnectWithoutParams", R"({"type":"connect"})", false, {Error("Invalid format")}, {}},
        DispatchCase{"Disconnect", R"({"type":"disconnect"})", true, {}, {"disconnect"}},
        DispatchCase{"StdinConnected", R"({"type":"stdin","input":"ls\r\n"})", true, {}, {"input ls\r\n"}},
        DispatchCase{"StdinEmptyText", R"({"type":"stdin","input":""})", true, {}, {"input "}},
        DispatchCase{
            "StdinNotConnected", R"({"type":"stdin","input":"x"})", false, {Error("Not connected")}, {}},
        DispatchCase{
            "StdinWithoutInputNotConnected", R"({"type":"stdin"})", false, {Error("Invalid format")}, {}},
        DispatchCase{
            "StdinWithoutInputConnected", R"({"type":"stdin"})", true, {Error("Invalid format")}, {}},
        DispatchCase{"ReadConsole", R"({"type":"readConsole"})", true, {Error("Not implemented yet")}, {}},
        DispatchCase{"TypeInOtherCase", R"({"type":"getversion"})", false, {Error("Unkown type")}, {}},
        DispatchCase{"EmptyType", R"({"type":""})", false, {Error("Unkown type")}, {}},
        DispatchCase{"TypeWithTrailingSpace", R"({"type":"stdin "})", false, {Error("Unkown type")}, {}},
        DispatchCase{"NotAnObject", "[]", false, {Error("Invalid format")}, {}},
        DispatchCase{"NotJson", "{", false, {Error("Invalid format")}, {}},
        DispatchCase{"MalformedMemberOfAnyType",
                     R"({"type":"getVersion","connectParams":{}})",
                     false,
                     {Error("Invalid format")},
                     {}}),
    [](const ::testing::TestParamInfo<DispatchCase>& testCase) { return std::string(testCase.param.name); });

TEST(RequestDispatcher, GoesOnReadingAfterATextThatDoesNotDecode) {
  // The decoder stops early on the first two and at the NUL of the third; the rest of each is skipped.
  const json version{{"type", "version"}, {"version", "2.0.0.0"}};
  const LoopResult run =
      RunRequests({"not json" + std::string(100'000, ' '), std::string(600, '[') + "]",
                   std::string(R"({"type":"getVersion"})") + '\0' + "{", "", R"({"type":"getVersion"})"});
  EXPECT_EQ(run.replies, (std::vector<json>{Error("Invalid format"), Error("Invalid format"), version,
                                            Error("Invalid format"), version}));
}

TEST(RequestDispatcher, AFailedRequestIsReportedAndEndsTheLoop) {
  FakeSession session;
  session.failConnect = true;
  const LoopResult run = RunRequests({kConnect, R"({"type":"getVersion"})"}, session);
  EXPECT_EQ(run.replies, std::vector<json>{Error("CreateProcess failed. 0x2 File not found.\r\n")});
  EXPECT_EQ(run.calls, std::vector<std::string>{"connect ssh.exe"});
}

TEST(RequestDispatcher, ARefusedRequestIsAnsweredAndTheLoopGoesOn) {
  FakeSession session;
  session.refuseConnect = true;
  const LoopResult run = RunRequests({kConnect, R"({"type":"getVersion"})"}, session);
  EXPECT_EQ(run.replies,
            (std::vector<json>{Error("refused"), json{{"type", "version"}, {"version", "2.0.0.0"}}}));
}

TEST(RequestDispatcher, EndOfInputEndsTheLoopWithoutReply) {
  const LoopResult run = RunRequests({});
  EXPECT_TRUE(run.replies.empty());
}

}  // namespace
}  // namespace snh
