#pragma once

// POSIX only: a process's exit as an fd, readable once the process has ended, so that it can be waited
// for in poll() beside other fds and cannot be confused with a later process of the same pid. Windows
// has no such call and needs none: its process handles are waited on themselves.

#include "platform/UniqueHandle.h"

namespace snh {

// Empty, with errno set, on failure (ENOSYS before Linux 5.3).
UniqueHandle OpenPidFd(int pid);

// Waits for the child `pid` to end, reaps it and returns its ShellStatus.
int ReapProcess(int pid);

// An ended process's status as a shell reports it: its exit code, or 128 + the signal that ended it.
int ShellStatus(bool exited, int value);
// The same from a status that waitpid gave.
int ShellStatus(int waitStatus);

}  // namespace snh
