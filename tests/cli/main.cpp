// The terminal client's end-to-end tests: --cli=PROGRAM is the client under test, --host=PROGRAM the
// host it starts, --client=PROGRAM the test client it runs. Other arguments are GoogleTest's.

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>

#include "CliTest.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto& programs = snh::cli_test::Programs();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--cli=")) {
      programs.cli = argument.substr(6);
    } else if (argument.starts_with("--host=")) {
      programs.host = argument.substr(7);
    } else if (argument.starts_with("--client=")) {
      programs.client = argument.substr(9);
    } else {
      std::cerr << "unknown argument: " << argument << "\n";
      return 2;
    }
  }
  if (programs.cli.empty() || programs.host.empty() || programs.client.empty()) {
    std::cerr << "usage: snh_cli_tests --cli=PROGRAM --host=PROGRAM --client=PROGRAM [gtest options]\n";
    return 2;
  }
  return RUN_ALL_TESTS();
}
