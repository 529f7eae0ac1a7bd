#pragma once

// Shared fixture of the OpenSSH tests: a private sshd for each test, hosts started as a browser starts
// them, and waits for text in what the host sends back.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "HostSession.h"
#include "Messages.h"
#include "OpenSshServer.h"

namespace snh::e2e {

using conformance::HostSession;
using conformance::Milliseconds;

// The host under test; set once by main before any test runs.
std::string& HostProgram();

// A key login on the loopback takes well under a second; the margin is for sanitizer builds.
inline constexpr Milliseconds kLoginTimeout{15000};
// A shell's answer to one typed line.
inline constexpr Milliseconds kReplyTimeout{5000};
// The exit notice comes a second after the client's exit.
inline constexpr Milliseconds kExitTimeout{10000};
// The test user's shell is sh, whose prompt for a user that is not root is this.
inline constexpr const char* kShellPrompt = "$ ";

class OpenSshTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Ends every host (and with it its ssh), checks what the hosts wrote, then stops sshd.
  void TearDown() override;

  OpenSshServer& Server() { return *server_; }
  HostSession& StartHost();

  // A connect request that starts ssh with these options towards the test server.
  nlohmann::json Connect(const ClientOptions& options, const std::vector<std::string>& sshFlags,
                         const std::string& remoteCommand, const std::string& mode,
                         std::optional<double> pollingIntervalInSeconds = std::nullopt) const;

  // Each wait takes the messages it reads, so text that an earlier wait has seen never matches again;
  // it returns the text read, which ends with `wanted`'s first appearance or soon after.
  static std::string WaitForPseudoConsoleText(HostSession& host, const std::string& wanted,
                                              Milliseconds timeout);
  static std::string WaitForConsoleText(HostSession& host, const std::string& wanted, Milliseconds timeout);
  static std::string WaitForStreamText(HostSession& host, const std::string& type, const std::string& wanted,
                                       Milliseconds timeout);

  // The text of every message of `type` received so far, in order ("stdout", "stderr").
  static std::string JoinedStream(const HostSession& host, const std::string& type);

 private:
  std::unique_ptr<OpenSshServer> server_;
  std::vector<std::unique_ptr<HostSession>> hosts_;
};

}  // namespace snh::e2e
