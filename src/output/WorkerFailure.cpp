#include "output/WorkerFailure.h"

#include "platform/OsError.h"

namespace snh {

void ReportWorkerFailure(JsonModule& json, const char* text) noexcept {
  try {
    json.WriteMessage(ErrorResponse(text));
  } catch (const std::exception& sendError) {
    try {
      DebugOutput(sendError.what());
    } catch (...) {
      // Nothing is left to tell.
    }
  }
}

}  // namespace snh
