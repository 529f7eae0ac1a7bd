#pragma once

// How the host's worker threads (pipe readers, the console poller, the exit watch) report a failure
// that they caught: as an "error" message, or, when even that cannot be sent, on the debugger output.

#include "codec/JsonModule.h"

namespace snh {

void ReportWorkerFailure(JsonModule& json, const char* text) noexcept;

}  // namespace snh
