#pragma once

// A command line that cannot be run; the text says what is wrong. Shared by the programs on top (the
// terminal client, the registration tool), which answer it with their usage and exit status 2.

#include <stdexcept>

namespace snh {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace snh
