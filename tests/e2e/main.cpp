// The OpenSSH end-to-end tests: --host=PROGRAM is the host under test. Other arguments are GoogleTest's.

#include <gtest/gtest.h>

#include <iostream>
#include <string_view>

#include "OpenSshTest.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--host=")) {
      snh::e2e::HostProgram() = argument.substr(7);
    } else {
      std::cerr << "unknown argument: " << argument << "\n";
      return 2;
    }
  }
  if (snh::e2e::HostProgram().empty()) {
    std::cerr << "usage: snh_openssh_tests --host=PROGRAM [gtest options]\n";
    return 2;
  }
  return RUN_ALL_TESTS();
}
