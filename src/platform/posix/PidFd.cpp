#include "platform/PidFd.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/RetryOnInterrupt.h"

namespace snh {

UniqueHandle OpenPidFd(int pid) { return UniqueHandle(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))); }

int ReapProcess(int pid) {
  int status = 0;
  RetryOnInterrupt([&] { return ::waitpid(pid, &status, 0); });
  return ShellStatus(status);
}

int ShellStatus(bool exited, int value) { return exited ? value : 128 + value; }

int ShellStatus(int waitStatus) {
  return WIFEXITED(waitStatus) ? ShellStatus(true, WEXITSTATUS(waitStatus))
                               : ShellStatus(false, WTERMSIG(waitStatus));
}

}  // namespace snh
