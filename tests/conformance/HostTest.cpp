#include "HostTest.h"

#include <algorithm>
#include <utility>

#include "HostSessionChecks.h"

namespace snh::conformance {

SuiteOptions& Options() {
  static SuiteOptions options;
  return options;
}

HostSession& HostTest::StartHost(const std::vector<std::string>& arguments) {
  hosts_.push_back(std::make_unique<HostSession>(Options().hostProgram, arguments));
  return *hosts_.back();
}

void HostTest::TearDown() {
  for (auto& host : hosts_) CloseAndCheckHost(*host);
  hosts_.clear();
}

void HostTest::ExpectVersionNext(HostSession& host) {
  host.CollectFor(Milliseconds(0));  // what came before the request is not its reply
  host.Send(GetVersionRequest());
  const ReceivedMessage reply = host.Next(kReplyTimeout);
  EXPECT_EQ(reply.body, nlohmann::json({{"type", "version"}, {"version", "2.0.0.0"}}))
      << "expected the reply to getVersion and nothing before it\n"
      << host.DescribeReceived();
}

std::string HostTest::JoinedOutput(const HostSession& host, const std::string& type) {
  std::string text;
  for (const ReceivedMessage& message : host.AllReceived()) {
    if (message.Type() == type) text += message.body.at("outputLine").get<std::string>();
  }
  return text;
}

std::string HostTest::WaitForProcessedContaining(HostSession& host, const std::string& wanted,
                                                 Milliseconds timeout, std::string seen) {
  const auto deadline = Clock::now() + timeout;
  std::string text = std::move(seen);
  while (text.find(wanted) == std::string::npos) {
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    const ReceivedMessage message =
        host.WaitFor(IsType("pseudo_console_output"), std::max(left, Milliseconds(0)),
                     "pseudo console text containing \"" + wanted + "\"");
    text += message.body.at("pseudoConsoleOutput").at("processedContent").get<std::string>();
  }
  return text;
}

double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace snh::conformance
