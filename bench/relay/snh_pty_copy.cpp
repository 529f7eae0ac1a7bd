// snh_pty_copy: the limit that the pseudo-console relay is measured against (Linux). Starts a client
// in the host's own pseudo console (the same pty, size and modes; the client's controlling terminal),
// and copies what the client writes to standard output in reads of 1024 bytes through the host's read
// port, with no framing. Ends when the client has let go of the terminal.
//
//   snh_pty_copy PROGRAM [ARGUMENT...]

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/PidFd.h"
#include "platform/PipeIo.h"
#include "platform/PipeReadPort.h"
#include "platform/PseudoConsole.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: snh_pty_copy PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  snh::PseudoConsole console;
  const pid_t client = ::fork();
  if (client < 0) return 1;
  if (client == 0) {
    const int terminal = console.clientSide();
    if (::setsid() < 0 || ::ioctl(terminal, TIOCSCTTY, 0) < 0 || ::dup2(terminal, STDIN_FILENO) < 0 ||
        ::dup2(terminal, STDOUT_FILENO) < 0 || ::dup2(terminal, STDERR_FILENO) < 0) {
      ::_exit(127);
    }
    ::execvp(argv[1], argv + 1);
    ::_exit(127);
  }
  console.ReleaseClientSide();

  snh::PipeReadPort output(console.outputRead());
  char buffer[1024];
  bool copied = true;
  for (;;) {
    const snh::ReadResult read = output.Read(buffer);
    // Ended: no process holds the terminal any more, and everything it wrote has been read.
    if (read.outcome != snh::ReadOutcome::kData) {
      copied = read.outcome == snh::ReadOutcome::kEnded;
      break;
    }
    if (snh::WriteWhole(STDOUT_FILENO, std::string_view(buffer, read.size)).outcome !=
        snh::WriteOutcome::kDone) {
      copied = false;
      break;
    }
  }
  // Reaped, as the host reaps its client, so that the client's CPU time counts alike in both rows.
  const int status = snh::ReapProcess(client);
  return copied && status == 0 ? 0 : 1;
}
