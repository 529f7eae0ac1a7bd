#include "base/DiagnosticLog.h"

#include <fmt/chrono.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace snh {
namespace {

struct LogFile {
  std::atomic<bool> open{false};
  std::mutex mutex;
  std::unique_ptr<OutputSink> file;  // guarded by mutex
  std::string tag;                   // guarded by mutex
};

LogFile& TheLog() {
  static LogFile log;
  return log;
}

// UTC, to the millisecond: "2026-01-02T03:04:05.678Z".
std::string Timestamp() {
  const auto now = std::chrono::system_clock::now();
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return fmt::format("{:%FT%T}.{:03}Z", fmt::gmtime(std::chrono::system_clock::to_time_t(now)), milliseconds);
}

}  // namespace

bool OpenDiagnosticLog(std::unique_ptr<OutputSink> file, std::string tag) noexcept {
  LogFile& log = TheLog();
  try {
    if (!file) return false;
    const std::lock_guard lock(log.mutex);
    log.file = std::move(file);
    log.tag = std::move(tag);
    log.open.store(true);
    return true;
  } catch (...) {
    return false;
  }
}

void CloseDiagnosticLog() noexcept {
  LogFile& log = TheLog();
  try {
    const std::lock_guard lock(log.mutex);
    log.open.store(false);
    log.file.reset();
  } catch (...) {
  }
}

bool DiagnosticLogOpen() noexcept { return TheLog().open.load(); }

void WriteDiagnosticLine(std::string_view text) noexcept {
  LogFile& log = TheLog();
  try {
    const std::lock_guard lock(log.mutex);
    if (!log.open.load()) return;
    // Built whole first, so that it goes out in one write and lines of several hosts do not mix.
    std::string line = Timestamp() + ' ' + log.tag + ' ';
    line.append(text).append("\n");
    // A full disk or a file that went away: later lines would fail the same way.
    if (!log.file->Write(line)) log.open.store(false);
  } catch (...) {
  }
}

}  // namespace snh
