// snh_pipe_copy: the limit that the relay is measured against. Copies in reads of 1024 bytes, as the
// host reads its client's pipes, each read written whole to standard output, with no framing.
//
//   snh_pipe_copy                    copies its standard input
//   snh_pipe_copy PROGRAM [ARG...]   starts PROGRAM on pipes made as the host makes its client's
//                                    (CreatePipe on Windows) and copies PROGRAM's standard output
//
// The second form is the fair limit under Wine, where a pipe from CreatePipe is served by wineserver
// while a pipe between two programs started by a shell is a Unix pipe that bypasses it.

#include <array>
#include <chrono>
#include <cstddef>
#include <exception>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/ChildProcess.h"
#include "platform/PipeIo.h"
#include "platform/StandardStreams.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define read _read
#else
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kChunk = 1024;

bool WriteOut(std::span<const char> bytes) {
  return snh::WriteWhole(snh::StandardHandle(snh::StandardStream::kOutput),
                         std::string_view(bytes.data(), bytes.size()))
             .outcome == snh::WriteOutcome::kDone;
}

int CopyStandardInput() {
  std::array<char, kChunk> buffer;
  for (;;) {
    const long count = read(0, buffer.data(), buffer.size());
    if (count <= 0) return count == 0 ? 0 : 1;
    if (!WriteOut(std::span(buffer).first(static_cast<std::size_t>(count)))) return 1;
  }
}

int CopyProgramOutput(const std::string& program, const std::vector<std::string>& arguments) {
  const auto child = snh::client::StartChildProcess(program, arguments);
  std::array<char, kChunk> buffer;
  while (const std::size_t count = child->ReadOutput(buffer)) {
    if (!WriteOut(std::span(buffer).first(count))) return 1;
  }
  return child->WaitForExit(std::chrono::seconds(30)).value_or(1);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
#endif
  if (argc < 2) return CopyStandardInput();
  try {
    return CopyProgramOutput(argv[1], std::vector<std::string>(argv + 2, argv + argc));
  } catch (const std::exception& failure) {
    std::cerr << "snh_pipe_copy: " << failure.what() << "\n";
    return 1;
  }
}
