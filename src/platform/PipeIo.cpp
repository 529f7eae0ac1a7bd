#include "platform/PipeIo.h"

#include "platform/OsError.h"

namespace snh {

std::uint32_t WritePipe(NativeHandle pipe, std::string_view bytes, const char* label,
                        bool forgiveClosedReader) {
  const WriteResult result = WriteWhole(pipe, bytes);
  if (result.outcome == WriteOutcome::kDone) return 0;
  if (forgiveClosedReader && IsClosedReader(result.error)) return result.error;
  RaiseSystemError(label, result.error);
}

}  // namespace snh
