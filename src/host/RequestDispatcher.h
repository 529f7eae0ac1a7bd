#pragma once

// The main loop: reads one request at a time, decodes it and dispatches on its type.

#include <functional>
#include <string>

#include "codec/ByteSource.h"
#include "codec/JsonModule.h"
#include "session/SessionControl.h"

namespace snh {

using VersionQuery = std::function<std::string()>;

// Handles one decoded request; its input text moves on to the session. Raises whatever the session or
// the version query raises.
void DispatchRequest(Request request, JsonModule& json, SessionControl& session,
                     const VersionQuery& queryVersion);

// Runs until the input ends or a request raises a standard exception; in the latter case the
// exception's text is sent as an "error" message first. A text that does not decode is answered
// with "Invalid format", a RequestRefused with its text, and reading goes on.
void RunRequestLoop(ByteSource& input, JsonModule& json, SessionControl& session,
                    const VersionQuery& queryVersion);

}  // namespace snh
