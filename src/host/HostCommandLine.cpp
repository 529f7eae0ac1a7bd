#include "host/HostCommandLine.h"

namespace snh {

HostAction ParseHostArguments(std::span<const std::string> arguments) {
  if (arguments.empty()) return HostAction::kServe;
  const std::string& first = arguments.front();
  if (first == "--help" || first == "-h") return HostAction::kShowHelp;
  if (first == "--version" || first == "-V") return HostAction::kShowVersion;
  return HostAction::kServe;
}

std::string HostHelpText() {
  return R"(Usage: ssh-native-host [--help | --version]
  or:  ssh-native-host BROWSER-ARGUMENTS...

The native messaging host of ssh-native-host: a browser starts it for an extension, which then has it
start an SSH client (or another program) on this machine, write to its input, relay everything it
prints, report its exit and end it. Requests and replies are native messaging frames on standard input
and output (a 4-byte little-endian length, then UTF-8 JSON), so the host is not run by hand: run
ssh-native-host-cli for a session through it in a terminal.

Chrome, Chromium and Edge start it with the extension's origin (chrome-extension://ID/) and, on
Windows, --parent-window=N; Firefox with the path of the host's manifest and the extension's id. These
arguments are ignored. The host runs until the browser closes its standard input (the extension's port
is disconnected), then ends its client and exits with status 0.

A browser finds the host through a manifest for the host name com.sshnativehost.host. After
installing, register it once for the extensions that may start it:
  ssh-native-host-register install --extension-id ID

Options:
  -h, --help     show this text and exit (only as the first argument)
  -V, --version  show the version and exit (only as the first argument)

Environment:
  SSH_NATIVE_HOST_LOG  the path of a file to which the host appends a diagnostic log: start-up, the
                       type of each request, each connect's program and mode, each error sent, the
                       client's exit and the host's end; never the text sent to the client nor the
                       connect's arguments. Unset, nothing is logged.
)";
}

}  // namespace snh
