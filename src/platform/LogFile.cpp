#include "platform/LogFile.h"

#include "platform/PipeIo.h"

namespace snh {
namespace {

class LogFileSink final : public OutputSink {
 public:
  explicit LogFileSink(UniqueHandle file) : file_(std::move(file)) {}
  bool Write(std::string_view bytes) override {
    return WriteWhole(file_.get(), bytes).outcome == WriteOutcome::kDone;
  }

 private:
  UniqueHandle file_;
};

}  // namespace

std::unique_ptr<OutputSink> OpenLogFile(const std::filesystem::path& file) {
  UniqueHandle handle = OpenLogFileHandle(file);
  if (!handle) return nullptr;
  return std::make_unique<LogFileSink>(std::move(handle));
}

}  // namespace snh
