#pragma once

// A request the host will not carry out as asked because of what it asks, not because the system
// failed: it is answered with an "error" carrying the text, and the host goes on serving.

#include <stdexcept>

namespace snh {

class RequestRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace snh
