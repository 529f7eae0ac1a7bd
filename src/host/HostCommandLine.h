#pragma once

// What the host makes of its command line. Browsers pass arguments of their own (Chrome the caller's
// origin and, on Windows, --parent-window=N; Firefox the manifest's path and the extension's id), which
// the host ignores; only --help or --version as the first argument is an option.

#include <span>
#include <string>
#include <string_view>

namespace snh {

enum class HostAction { kServe, kShowHelp, kShowVersion };

HostAction ParseHostArguments(std::span<const std::string> arguments);

std::string HostHelpText();

// The environment variable that names the diagnostic log file.
inline constexpr const char* kLogVariable = "SSH_NATIVE_HOST_LOG";

// Shown on standard error when someone starts the host by hand, in a terminal, where it would
// otherwise wait in silence.
inline constexpr const char* kTerminalHint =
    "ssh-native-host: waiting for native messaging frames on standard input; a browser or "
    "ssh-native-host-cli starts this program (see --help)\n";

}  // namespace snh
