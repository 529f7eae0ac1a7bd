#include "TemporaryPassword.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string_view>

#include "RunProgram.h"

namespace snh::e2e {
namespace {

constexpr const char* kChpasswd = "/usr/sbin/chpasswd";
constexpr const char* kUsermod = "/usr/sbin/usermod";

std::string RandomPassword() {
  static constexpr std::string_view kAlphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::string text;
  for (int i = 0; i < 24; ++i) text += kAlphabet[pick(device)];
  return text;
}

void LockPassword(const std::string& user) { RunProgramOrThrow(kUsermod, {"-p", "*", user}); }

}  // namespace

TemporaryPassword::TemporaryPassword(std::string user) : user_(std::move(user)), text_(RandomPassword()) {
  // On standard input, so that the password never shows in a process list.
  try {
    RunProgramOrThrow(kChpasswd, {}, user_ + ":" + text_ + "\n");
  } catch (...) {
    LockPassword(user_);
    throw;
  }
}

TemporaryPassword::~TemporaryPassword() {
  try {
    LockPassword(user_);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "Could not put back the unusable password of " << user_ << ": " << error.what();
  }
}

}  // namespace snh::e2e
