#pragma once

// POSIX only: a process's exit as an fd, readable once the process has ended, so that it can be waited
// for in poll() beside other fds and cannot be confused with a later process of the same pid. Windows
// has no such call and needs none: its process handles are waited on themselves.

#include "platform/UniqueHandle.h"

namespace snh {

// Empty, with errno set, on failure (ENOSYS before Linux 5.3).
UniqueHandle OpenPidFd(int pid);

}  // namespace snh
