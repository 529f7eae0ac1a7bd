#include "platform/WakeSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "platform/OsError.h"
#include "platform/Wait.h"

namespace snh {

WakeSignal::WakeSignal() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (!handle_) RaiseLastError("CreateEvent");
}

void WakeSignal::Raise() {
  const std::uint64_t one = 1;
  // Never read, so the count only grows: a write that would overflow it finds it raised already.
  [[maybe_unused]] const ssize_t written = ::write(handle_.get(), &one, sizeof one);
}

bool WakeSignal::IsRaised() const {
  return WaitForHandle(handle_.get(), nullptr, std::chrono::milliseconds(0)) == WaitOutcome::kReady;
}

}  // namespace snh
