#pragma once

// The command line of ssh-native-host-register.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Registration.h"
#include "base/UsageError.h"

namespace snh::reg {

enum class Command { Install, Remove, WriteManifests, Help, Version };

struct Options {
  Command command = Command::Help;
  std::vector<Browser> browsers;  // in the order given; every browser when `allBrowsers`
  bool allBrowsers = true;
  Scope scope = Scope::User;
  std::vector<std::string> extensionIds;  // each valid for at least one family
  std::optional<std::filesystem::path> host;
  LocationOverrides overrides;
  bool dryRun = false;
};

// `args` excludes the program name. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

}  // namespace snh::reg
