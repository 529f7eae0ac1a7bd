#include "platform/UniqueHandle.h"

#include <unistd.h>

namespace snh {

UniqueHandle::operator bool() const { return handle_ >= 0; }

void UniqueHandle::reset(NativeHandle handle) {
  const int old = std::exchange(handle_, handle);
  if (old >= 0) ::close(old);
}

}  // namespace snh
