// The terminal client's end-to-end tests: --cli=PROGRAM is the client under test, --host=PROGRAM the
// host it starts, --client=PROGRAM the test client it runs. Other arguments are GoogleTest's.

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>

#include "CliTest.h"

namespace {

// CMake names the Windows build's programs by their host paths; Wine sees that file system as Z:.
std::string ToProgramPath(std::string_view path) {
  std::string program(path);
#ifdef _WIN32
  if (program.starts_with('/')) {
    for (char& c : program) {
      if (c == '/') c = '\\';
    }
    program = "Z:" + program;
  }
#endif
  return program;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto& programs = snh::cli_test::Programs();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--cli=")) {
      programs.cli = ToProgramPath(argument.substr(6));
    } else if (argument.starts_with("--host=")) {
      programs.host = ToProgramPath(argument.substr(7));
    } else if (argument.starts_with("--client=")) {
      programs.client = ToProgramPath(argument.substr(9));
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
