// The host's entry point. It reads no options: the browser's arguments (the extension's origin, a
// parent window) are ignored.

#include "codec/JsonModule.h"
#include "host/RequestDispatcher.h"
#include "platform/ExecutableVersion.h"
#include "platform/StandardStreams.h"
#include "session/SshModule.h"

int main() {
  snh::PrepareStandardStreams();
  snh::StandardInput input;
  snh::StandardOutput output;
  snh::JsonModule json(output);
  {
    // The session and all its threads end before the output channel they write to.
    snh::SshModule session(json);
    snh::RunRequestLoop(input, json, session, &snh::GetExecutableVersion);
    session.StopPolling();
  }
  return 0;
}
