#include "CliTest.h"

#include <array>
#include <stdexcept>
#include <thread>

#include "client/ChildProcess.h"

namespace snh::cli_test {

CliPrograms& Programs() {
  static CliPrograms programs;
  return programs;
}

CliResult RunCli(const std::vector<std::string>& arguments, const std::string& input,
                 std::chrono::milliseconds timeout) {
  const auto process = client::StartChildProcess(Programs().cli, arguments);
  CliResult result;
  auto drain = [&](bool error) {
    std::string& text = error ? result.error : result.output;
    std::array<char, 4096> buffer{};
    for (;;) {
      const std::size_t count = error ? process->ReadError(buffer) : process->ReadOutput(buffer);
      if (count == 0) return;
      text.append(buffer.data(), count);
    }
  };
  std::thread output(drain, false);
  std::thread error(drain, true);
  process->WriteInput(input);
  process->CloseInput();
  const auto exitCode = process->WaitForExit(timeout);
  if (!exitCode) process->Kill();
  process->CancelPendingIo();
  output.join();
  error.join();
  if (!exitCode) throw std::runtime_error("the client did not end in time; output so far: " + result.output);
  result.exitCode = *exitCode;
  return result;
}

}  // namespace snh::cli_test
