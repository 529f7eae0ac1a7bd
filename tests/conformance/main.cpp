// The end-to-end suite: --host=PROGRAM is the host under test, --client=PROGRAM the test client that
// the host is asked to start. Other arguments are GoogleTest's.

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>

#include "HostPlatform.h"
#include "HostTest.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto& options = snh::conformance::Options();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--host=")) {
      options.hostProgram = snh::conformance::ToProgramPath(std::string(argument.substr(7)));
    } else if (argument.starts_with("--client=")) {
      options.clientProgram = snh::conformance::ToProgramPath(std::string(argument.substr(9)));
    } else {
      std::cerr << "unknown argument: " << argument << "\n";
      return 2;
    }
  }
  if (options.hostProgram.empty() || options.clientProgram.empty()) {
    std::cerr << "usage: snh_conformance_tests --host=PROGRAM --client=PROGRAM [gtest options]\n";
    return 2;
  }
  return RUN_ALL_TESTS();
}
