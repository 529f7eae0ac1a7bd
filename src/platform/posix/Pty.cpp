#include "platform/posix/Pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>

#include "platform/OsError.h"

namespace snh {

namespace {

winsize ToWinsize(Coord size) {
  winsize window{};
  window.ws_col = static_cast<unsigned short>(size.x);
  window.ws_row = static_cast<unsigned short>(size.y);
  return window;
}

}  // namespace

Pty OpenPty(Coord size, const char* label) {
  winsize window = ToWinsize(size);
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, /*name=*/nullptr, /*termp=*/nullptr, &window) != 0) RaiseLastError(label);
  Pty pty{UniqueHandle(master), UniqueHandle(slave)};
  for (int fd : {master, slave}) {
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) RaiseLastError(label);
  }
  return pty;
}

void SetPtySize(NativeHandle master, Coord size, const char* label) {
  const winsize window = ToWinsize(size);
  if (::ioctl(master, TIOCSWINSZ, &window) != 0) RaiseLastError(label);
}

}  // namespace snh
