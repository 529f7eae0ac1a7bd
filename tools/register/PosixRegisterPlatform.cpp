// Linux and macOS: manifests only, no registry.

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "RegisterPlatform.h"

namespace snh::reg {
namespace {

std::filesystem::path HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return {};
}

std::filesystem::path OwnExecutable() {
#if defined(__linux__)
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self;
#else
  return {};
#endif
}

}  // namespace

System CurrentSystem() {
  System system{};
#if defined(__APPLE__)
  system.os = Os::MacOs;
#else
  system.os = Os::Linux;
#endif
  system.environment.home = HomeDirectory();
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr)
    system.environment.configHome = config;
  if (const std::filesystem::path self = OwnExecutable(); !self.empty()) {
    system.defaultHost = self.parent_path() / "ssh-native-host";
  }
  return system;
}

}  // namespace snh::reg

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return snh::reg::RunRegisterTool(args, nullptr);
}
