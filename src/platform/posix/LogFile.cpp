#include "platform/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace snh {

UniqueHandle OpenLogFileHandle(const std::filesystem::path& file) {
  // O_NOFOLLOW: a link at the name is refused, never followed (a link to a missing file would create
  // its target); O_NONBLOCK: a FIFO without a reader fails at once instead of holding the host.
  UniqueHandle handle(::open(file.c_str(),
                             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                             S_IRUSR | S_IWUSR));
  struct stat status {};
  if (!handle || ::fstat(handle.get(), &status) != 0 || !S_ISREG(status.st_mode)) return UniqueHandle();
  return handle;
}

}  // namespace snh
