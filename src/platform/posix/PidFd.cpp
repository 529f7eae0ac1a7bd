#include "platform/PidFd.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace snh {

UniqueHandle OpenPidFd(int pid) { return UniqueHandle(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))); }

}  // namespace snh
