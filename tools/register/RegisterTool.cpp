#include <iostream>

#include "RegisterPlatform.h"

namespace snh::reg {

int RunRegisterTool(const std::vector<std::string>& args, Registry* registry) {
  Options options;
  try {
    options = ParseOptions(args);
  } catch (const UsageError& e) {
    std::cerr << "ssh-native-host-register: " << e.what() << "\nRun with --help for the options.\n";
    return 2;
  }
  System system = CurrentSystem();
  system.registry = registry;
  return RunRegistration(options, system, std::cout, std::cerr);
}

}  // namespace snh::reg
