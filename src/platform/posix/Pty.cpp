#include "platform/posix/Pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>

#include "platform/OsError.h"

namespace snh {

Pty OpenPty(Coord size, const char* label) {
  winsize window{};
  window.ws_col = static_cast<unsigned short>(size.x);
  window.ws_row = static_cast<unsigned short>(size.y);
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, /*name=*/nullptr, /*termp=*/nullptr, &window) != 0) RaiseLastError(label);
  Pty pty{UniqueHandle(master), UniqueHandle(slave)};
  for (int fd : {master, slave}) {
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) RaiseLastError(label);
  }
  return pty;
}

}  // namespace snh
