#pragma once

// POSIX only: the one retry of a system call that a signal interrupted before it did anything (EINTR),
// for the platform and the POSIX code of the programs on top. Windows calls are not interrupted so.

#include <cerrno>

namespace snh {

// Calls `call` until it returns anything but -1 with errno EINTR, and returns that result.
template <typename Call>
auto RetryOnInterrupt(Call&& call) {
  for (;;) {
    const auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

}  // namespace snh
