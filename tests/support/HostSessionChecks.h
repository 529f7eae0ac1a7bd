#pragma once

// The checks every end-to-end test makes of a host when it is done with it.

#include <gtest/gtest.h>

#include <string>

#include "HostSession.h"

namespace snh::conformance {

// Closes the host and fails the test on anything it wrote outside a well-formed frame and on any
// sanitizer report in its standard error.
inline void CloseAndCheckHost(HostSession& host) {
  host.Close();
  for (const std::string& failure : host.ProtocolFailures()) {
    ADD_FAILURE() << "The host wrote something that is not a well-formed frame: " << failure << "\n"
                  << host.DescribeReceived();
  }
  for (const std::string& report : host.SanitizerReports()) {
    ADD_FAILURE() << "The host's sanitizer reported: " << report << "\n"
                  << host.StandardError() << "\n"
                  << host.DescribeReceived();
  }
}

}  // namespace snh::conformance
