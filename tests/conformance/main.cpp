// The end-to-end suite: --host=PROGRAM is the host under test, --client=PROGRAM the test client that
// the host is asked to start. Other arguments are GoogleTest's.

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <string_view>

#include "HostTest.h"

namespace {

// Under Wine, build paths arrive in Linux form; Windows calls and the host need the Z: drive form.
std::string ToProgramPath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path.front() == '/') {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
#endif
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto& options = snh::conformance::Options();
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument.starts_with("--host=")) {
      options.hostProgram = ToProgramPath(std::string(argument.substr(7)));
    } else if (argument.starts_with("--client=")) {
      options.clientProgram = ToProgramPath(std::string(argument.substr(9)));
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
