#include "RunProgram.h"

#include <array>
#include <stdexcept>

#include "client/ChildProcess.h"

namespace snh::e2e {
namespace {

std::string ReadToEnd(client::ChildProcess& process, bool standardError) {
  std::string text;
  std::array<char, 4096> buffer{};
  for (;;) {
    const std::size_t count = standardError ? process.ReadError(buffer) : process.ReadOutput(buffer);
    if (count == 0) return text;
    text.append(buffer.data(), count);
  }
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& arguments) {
  std::string text = program;
  for (const std::string& argument : arguments) text += " " + argument;
  return text;
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         std::string_view input, std::chrono::milliseconds timeout) {
  const auto process = client::StartChildProcess(program, arguments);
  // Setup programs read little and write little: all of it fits the pipes, so the input can be written
  // at once and the output read after the exit.
  if (!input.empty()) process->WriteInput(input);
  process->CloseInput();
  const auto exitCode = process->WaitForExit(timeout);
  if (!exitCode) {
    process->Kill();
    process->WaitForExit(timeout);
    throw std::runtime_error(CommandLine(program, arguments) + " did not end within " +
                             std::to_string(timeout.count()) + " ms");
  }
  ProgramResult result{*exitCode, ReadToEnd(*process, false)};
  result.output += ReadToEnd(*process, true);
  return result;
}

void RunProgramOrThrow(const std::string& program, const std::vector<std::string>& arguments,
                       std::string_view input) {
  const ProgramResult result = RunProgram(program, arguments, input);
  if (result.exitCode != 0) {
    throw std::runtime_error(CommandLine(program, arguments) + " exited with " +
                             std::to_string(result.exitCode) + ": " + result.output);
  }
}

}  // namespace snh::e2e
