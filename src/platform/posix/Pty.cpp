#include "Pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>

#include "OsError.h"

namespace snh {

Pty OpenPty(unsigned short columns, unsigned short rows, const char* label) {
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, /*name=*/nullptr, /*termp=*/nullptr, &size) != 0) RaiseLastError(label);
  Pty pty{UniqueHandle(master), UniqueHandle(slave)};
  for (int fd : {master, slave}) {
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) RaiseLastError(label);
  }
  return pty;
}

void SetPtySize(NativeHandle master, unsigned short columns, unsigned short rows, const char* label) {
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  if (::ioctl(master, TIOCSWINSZ, &size) != 0) RaiseLastError(label);
}

}  // namespace snh
