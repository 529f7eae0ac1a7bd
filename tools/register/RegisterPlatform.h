#pragma once

// What the registration tool needs of the system it runs on. One implementation per platform, each
// also holding the program's entry point, which hands the UTF-8 arguments to RunRegisterTool.

#include <string>
#include <vector>

#include "Installer.h"

namespace snh::reg {

// The running system: its kind, its directories and the host beside this program (registry unset).
System CurrentSystem();

// `args` excludes the program name; `registry` is null where browsers read none. Returns the exit status.
int RunRegisterTool(const std::vector<std::string>& args, Registry* registry);

}  // namespace snh::reg
