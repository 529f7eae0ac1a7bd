#pragma once

// A random password for the test user while it exists; afterwards the account has the unusable
// password "*" again, which keeps key logins open and password logins shut.

#include <string>

namespace snh::e2e {

class TemporaryPassword {
 public:
  // Throws std::runtime_error when the password cannot be set.
  explicit TemporaryPassword(std::string user);
  TemporaryPassword(const TemporaryPassword&) = delete;
  TemporaryPassword& operator=(const TemporaryPassword&) = delete;
  ~TemporaryPassword();

  const std::string& text() const { return text_; }

 private:
  std::string user_;
  std::string text_;
};

}  // namespace snh::e2e
