#pragma once

// The terminal client run for real: the ssh-native-host-cli executable, the host beside it and the
// test client as the program it runs.

#include <chrono>
#include <string>
#include <vector>

namespace snh::cli_test {

struct CliPrograms {
  std::string cli;
  std::string host;
  std::string client;
};
CliPrograms& Programs();

struct CliResult {
  int exitCode = -1;
  std::string output;
  std::string error;
};

// Runs the client with `arguments`, `input` on a pipe (closed after it), and waits for it to end.
CliResult RunCli(const std::vector<std::string>& arguments, const std::string& input,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace snh::cli_test
