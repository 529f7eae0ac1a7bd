#pragma once

// Runs a setup program (ssh-keygen, chpasswd, usermod) to its end, through the harness's launcher.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace snh::e2e {

struct ProgramResult {
  int exitCode = 0;
  std::string output;  // standard output, then standard error
};

// Feeds `input` to the program's standard input and waits up to `timeout` for it to end. Throws
// std::runtime_error when it cannot start or does not end in time.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         std::string_view input = {},
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

// The same, and throws with the program's output unless it exits with 0.
void RunProgramOrThrow(const std::string& program, const std::vector<std::string>& arguments,
                       std::string_view input = {});

}  // namespace snh::e2e
