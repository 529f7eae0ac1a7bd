// snh_pipe_copy: the limit that the relay is measured against. Copies standard input to standard
// output in reads and writes of 1024 bytes, as the host reads its client's pipes, with no framing.

#include <cstddef>
#include <string_view>

#include "platform/PipeIo.h"
#include "platform/StandardStreams.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define read _read
#else
#include <unistd.h>
#endif

int main() {
#ifdef _WIN32
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
#endif
  char buffer[1024];
  for (;;) {
    const long count = read(0, buffer, sizeof buffer);
    if (count <= 0) return count == 0 ? 0 : 1;
    const std::string_view bytes(buffer, static_cast<std::size_t>(count));
    if (snh::WriteWhole(snh::StandardHandle(snh::StandardStream::kOutput), bytes).outcome !=
        snh::WriteOutcome::kDone) {
      return 1;
    }
  }
}
