// snh_bench_writer: the client of the relay benchmark. Writes the relay pattern to its standard
// output, or a window-title command that never ends, in writes of 64 KiB, then exits.
//
//   snh_bench_writer pattern BYTES [LINGER_MS]   the first BYTES bytes of the repeating pattern
//   snh_bench_writer title BYTES [LINGER_MS]     ESC ] 0 ; and then BYTES bytes of the pattern, no terminator
//
// LINGER_MS keeps the process (and so its terminal) alive that long after the last write: a relay that
// stops reading a pty when its client exits would otherwise lose the end of the output.
//
// On a terminal it turns off output processing first, so the bytes reach the pty's reader unchanged
// (no CR inserted before LF).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "RelayPattern.h"
#include "platform/PipeIo.h"
#include "platform/StandardStreams.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

bool WriteAll(std::string_view bytes) {
  return snh::WriteWhole(snh::StandardHandle(snh::StandardStream::kOutput), bytes).outcome ==
         snh::WriteOutcome::kDone;
}

void PrepareOutput() {
#ifdef _WIN32
  _setmode(1, _O_BINARY);
#else
  termios mode;
  if (::tcgetattr(STDOUT_FILENO, &mode) == 0) {
    mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    ::tcsetattr(STDOUT_FILENO, TCSANOW, &mode);
  }
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view what = argc == 3 || argc == 4 ? argv[1] : "";
  if (what != "pattern" && what != "title") {
    std::fprintf(stderr, "usage: snh_bench_writer pattern|title BYTES [LINGER_MS]\n");
    return 2;
  }
  std::size_t remaining = std::strtoull(argv[2], nullptr, 10);
  PrepareOutput();
  if (what == "title" && !WriteAll("\x1b]0;")) return 1;

  const std::string pattern = snh::bench::MakePattern();
  constexpr std::size_t kWrite = 64 * 1024;
  for (std::size_t offset = 0; remaining > 0;) {
    const std::size_t count = std::min({kWrite, remaining, pattern.size() - offset});
    if (!WriteAll(std::string_view(pattern).substr(offset, count))) return 1;
    offset = (offset + count) % pattern.size();
    remaining -= count;
  }
  if (argc == 4) std::this_thread::sleep_for(std::chrono::milliseconds(std::strtoul(argv[3], nullptr, 10)));
  return 0;
}
