#include "platform/StandardStreams.h"

#include "platform/PipeIo.h"

namespace snh {

bool StandardOutput::Write(std::string_view bytes) {
  failed_ =
      failed_ || WriteWhole(StandardHandle(StandardStream::kOutput), bytes).outcome != WriteOutcome::kDone;
  return !failed_;
}

}  // namespace snh
