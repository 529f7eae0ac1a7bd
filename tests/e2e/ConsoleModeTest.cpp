// ssh in the two console modes: its standard output and standard error are pipes that come back as
// "stdout" and "stderr" messages, and its terminal, where it asks its questions, comes back as
// "console_output".

#include <optional>
#include <string>

#include "OpenSshTest.h"

namespace snh::e2e {
namespace {

using conformance::DisconnectRequest;
using conformance::IsExitNotice;
using conformance::kConsoleWithoutPolling;
using conformance::kConsoleWithPolling;
using conformance::ReceivedMessage;

constexpr double kPollingInterval = 0.2;

std::optional<double> PollingIntervalFor(const std::string& mode) {
  if (mode == kConsoleWithPolling) return kPollingInterval;
  return std::nullopt;
}

std::string ModeName(const ::testing::TestParamInfo<std::string>& mode) {
  return mode.param == kConsoleWithPolling ? "WithPolling" : "WithoutPolling";
}

class OpenSshStandardStreams : public OpenSshTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(OpenSshStandardStreams, RemoteStdoutAndStderrArriveApart) {
  HostSession& host = StartHost();
  host.Send(
      Connect({}, {"-T"}, "echo out-text; echo err-text >&2", GetParam(), PollingIntervalFor(GetParam())));
  WaitForStreamText(host, "stdout", "out-text\n", kLoginTimeout);
  WaitForStreamText(host, "stderr", "err-text\n", kLoginTimeout);
  host.WaitFor(IsExitNotice(), kExitTimeout, "the exit notice after the remote command");

  EXPECT_EQ(JoinedStream(host, "stdout"), "out-text\n");
  EXPECT_EQ(JoinedStream(host, "stderr").find("out-text"), std::string::npos) << JoinedStream(host, "stderr");
  EXPECT_EQ(JoinedStream(host, "stdout").find("err-text"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, OpenSshStandardStreams,
                         ::testing::Values(kConsoleWithoutPolling, kConsoleWithPolling), ModeName);

// ssh asks on its terminal, never on its standard streams: the question has to be read off the screen.
struct TerminalPrompt {
  const char* name;
  ClientOptions options;
  const char* question;
};

std::string PromptName(const ::testing::TestParamInfo<TerminalPrompt>& prompt) { return prompt.param.name; }

class OpenSshTerminalPrompts : public OpenSshTest, public ::testing::WithParamInterface<TerminalPrompt> {};

TEST_P(OpenSshTerminalPrompts, PromptArrivesAsConsoleOutputAndDisconnectEndsIt) {
  const TerminalPrompt& prompt = GetParam();
  HostSession& host = StartHost();
  host.Send(
      Connect(prompt.options, {"-T"}, "echo remote-command-ran", kConsoleWithPolling, kPollingInterval));
  WaitForConsoleText(host, prompt.question, kLoginTimeout);

  host.Send(DisconnectRequest());
  host.WaitFor(IsExitNotice(), kExitTimeout, "the exit notice after disconnect");

  std::string screenText;
  for (const ReceivedMessage& message : host.AllReceived()) {
    if (message.Type() != "console_output") continue;
    const nlohmann::json& output = message.body.at("consoleOutput");
    EXPECT_EQ(output.at("consoleSize"), nlohmann::json({{"x", 50}, {"y", 30}})) << message.body.dump();
    EXPECT_EQ(output.at("startPosition"), nlohmann::json({{"x", 0}, {"y", 0}})) << message.body.dump();
    screenText += output.at("characterContent").get<std::string>();
  }
  // Every read blanks what it sent, the last one at the exit included, so the question comes once.
  const std::size_t first = screenText.find(prompt.question);
  EXPECT_EQ(screenText.find(prompt.question, first + 1), std::string::npos) << screenText;
  EXPECT_EQ(JoinedStream(host, "stderr").find(prompt.question), std::string::npos) << "not on the terminal";
  EXPECT_EQ(JoinedStream(host, "stdout"), "") << "the question was never answered";
  if (prompt.options.strictHostKeyChecking == "ask") {
    EXPECT_EQ(Server().KnownHosts(), "") << "no answer, so no key stored";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Questions, OpenSshTerminalPrompts,
    ::testing::Values(TerminalPrompt{"HostKeyQuestion",
                                     {.strictHostKeyChecking = "ask", .batchMode = false},
                                     "Are you sure you want to continue connecting (yes/no/[fingerprint])? "},
                      TerminalPrompt{"PasswordPrompt",
                                     {.batchMode = false, .keyLogin = false},
                                     "snh-test@127.0.0.1's password: "}),
    PromptName);

}  // namespace
}  // namespace snh::e2e
