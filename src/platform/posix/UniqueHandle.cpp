#include "UniqueHandle.h"

#include <unistd.h>

namespace snh {

void UniqueHandle::reset(int fd) {
  const int old = std::exchange(fd_, fd);
  // Not retried on EINTR: on Linux the fd is released whatever close reports.
  if (old >= 0) ::close(old);
}

}  // namespace snh
