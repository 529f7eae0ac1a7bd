#pragma once

// Shared fixture of the end-to-end suite: starts hosts, checks that each one kept to the framing, and
// offers the waits that most tests need.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HostPlatform.h"
#include "HostSession.h"
#include "Messages.h"

namespace snh::conformance {

struct SuiteOptions {
  std::string hostProgram;
  std::string clientProgram;
};

// Set once by main before any test runs.
SuiteOptions& Options();

// Generous for Wine, where starting a process can take a second or two.
inline constexpr Milliseconds kReplyTimeout{5000};
inline constexpr Milliseconds kClientTimeout{10000};

inline const std::vector<std::string> kChromeArguments = {
    "chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/", "--parent-window=0"};

class HostTest : public ::testing::Test {
 protected:
  // Started as Chrome starts a host: the extension's origin and the parent window as arguments.
  HostSession& StartHost() { return StartHost(kChromeArguments); }
  HostSession& StartHost(const std::vector<std::string>& arguments);
  // Every host of the test must have written nothing but well-formed frames.
  void TearDown() override;

  static const std::string& Client() { return Options().clientProgram; }
  static const HostPlatform& Platform() { return TheHostPlatform(); }

  // Sends getVersion and requires its reply to be the first message after it: proves that nothing was
  // sent in reply to the requests before it.
  static void ExpectVersionNext(HostSession& host);

  // The text of every "stdout" (or "stderr") message received so far, in order.
  static std::string JoinedOutput(const HostSession& host, const std::string& type);
  // The same for the processed text of "pseudo_console_output" messages: takes them until their text,
  // after `seen` (the text of messages already taken), contains `wanted`; returns all of it.
  static std::string WaitForProcessedContaining(HostSession& host, const std::string& wanted,
                                                Milliseconds timeout, std::string seen = {});

 private:
  std::vector<std::unique_ptr<HostSession>> hosts_;
};

double SecondsBetween(Clock::time_point from, Clock::time_point to);

}  // namespace snh::conformance
