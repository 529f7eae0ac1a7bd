#pragma once

// One session of the terminal client: the host started as a browser starts it, `connect` sent, keys
// forwarded as `stdin`, messages shown (or printed as JSON lines) until the exit notice, the escape
// (`~.`) or a failure of the host; then the terminal's modes the program changed are put back.
//
// Threads: the calling thread reads the input and sends requests; it owns three joining workers, one
// decoding the host's standard output, one copying the host's standard error to ours, one following
// the window's size. The output worker ends the input loop (CancelInput) when the session is over.

#include "client/ClientOptions.h"
#include "client/LocalConsole.h"

namespace snh::client {

// The origin a browser passes to its host; the host ignores it.
inline constexpr std::string_view kClientOrigin = "chrome-extension://ssh-native-host-cli/";

// Returns the exit status: the program's, 126/127 when it could not be started, 255 after the escape,
// 1 when the host failed.
int RunClientSession(const ClientOptions& options, LocalConsole& console);

}  // namespace snh::client
