// snh_pipe_copy: the limit that the relay is measured against. Copies standard input to standard
// output in reads and writes of 1024 bytes, as the host reads its client's pipes, with no framing.

#include <cstddef>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define read _read
#define write _write
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
    for (long done = 0; done < count;) {
      const long written = write(1, buffer + done, static_cast<unsigned>(count - done));
      if (written <= 0) return 1;
      done += written;
    }
  }
}
