#include "OpenSshTest.h"

#include <algorithm>
#include <functional>
#include <iostream>

#include "HostSessionChecks.h"

namespace snh::e2e {
namespace {

using conformance::Clock;
using conformance::ReceivedMessage;

// Takes messages of `type` until the text `extract` gets from them, joined, contains `wanted`.
std::string WaitForText(HostSession& host, const std::string& type,
                        const std::function<std::string(const nlohmann::json&)>& extract,
                        const std::string& wanted, Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string text;
  while (text.find(wanted) == std::string::npos) {
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    const ReceivedMessage message = host.WaitFor(conformance::IsType(type), std::max(left, Milliseconds(0)),
                                                 type + " text containing \"" + wanted + "\"");
    text += extract(message.body);
  }
  return text;
}

}  // namespace

std::string& HostProgram() {
  static std::string program;
  return program;
}

void OpenSshTest::SetUp() {
  if (const auto reason = OpenSshServer::WhyUnavailable()) GTEST_SKIP() << *reason;
  server_ = std::make_unique<OpenSshServer>();
}

void OpenSshTest::TearDown() {
  for (auto& host : hosts_) conformance::CloseAndCheckHost(*host);
  hosts_.clear();
  if (server_ && HasFailure()) std::cout << "sshd's log:\n" << server_->Log() << std::endl;
  server_.reset();
}

HostSession& OpenSshTest::StartHost() {
  // Started as Chrome starts a host: the extension's origin as the argument.
  hosts_.push_back(std::make_unique<HostSession>(
      HostProgram(), std::vector<std::string>{"chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/"}));
  return *hosts_.back();
}

nlohmann::json OpenSshTest::Connect(const ClientOptions& options, const std::vector<std::string>& sshFlags,
                                    const std::string& remoteCommand, const std::string& mode,
                                    std::optional<double> pollingIntervalInSeconds) const {
  return conformance::ConnectRequest(kSshClient, server_->ClientArguments(options, sshFlags, remoteCommand),
                                     mode, pollingIntervalInSeconds);
}

std::string OpenSshTest::WaitForPseudoConsoleText(HostSession& host, const std::string& wanted,
                                                  Milliseconds timeout) {
  return WaitForText(
      host, "pseudo_console_output",
      [](const nlohmann::json& body) {
        return body.at("pseudoConsoleOutput").at("processedContent").get<std::string>();
      },
      wanted, timeout);
}

std::string OpenSshTest::WaitForConsoleText(HostSession& host, const std::string& wanted,
                                            Milliseconds timeout) {
  // Each read blanks what it took and sends the cursor home, so reads joined are the text as written.
  return WaitForText(
      host, "console_output",
      [](const nlohmann::json& body) {
        return body.at("consoleOutput").at("characterContent").get<std::string>();
      },
      wanted, timeout);
}

std::string OpenSshTest::WaitForStreamText(HostSession& host, const std::string& type,
                                           const std::string& wanted, Milliseconds timeout) {
  return WaitForText(
      host, type, [](const nlohmann::json& body) { return body.at("outputLine").get<std::string>(); }, wanted,
      timeout);
}

std::string OpenSshTest::JoinedStream(const HostSession& host, const std::string& type) {
  std::string text;
  for (const ReceivedMessage& message : host.AllReceived()) {
    if (message.Type() == type) text += message.body.at("outputLine").get<std::string>();
  }
  return text;
}

}  // namespace snh::e2e
