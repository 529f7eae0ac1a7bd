#pragma once

// The opt-in diagnostic log: timestamped lines appended to a file the user names, for finding out why
// a host ended or what it was asked. Off unless opened. Callers never log the text of stdin requests or
// connect arguments, which carry passwords and other secrets. Writing never throws and never touches
// the protocol channel: a log that cannot be written loses its lines, nothing else.

#include <fmt/format.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "base/OutputSink.h"

namespace snh {

// Starts logging to `file` (opened by the platform layer, see platform/LogFile.h); every line starts
// with the time and `tag` (the process, since several hosts may share one file). False, and the log
// stays off, when there is no file.
bool OpenDiagnosticLog(std::unique_ptr<OutputSink> file, std::string tag) noexcept;
void CloseDiagnosticLog() noexcept;
bool DiagnosticLogOpen() noexcept;
// One line; safe from any thread.
void WriteDiagnosticLine(std::string_view text) noexcept;

// Formats only when the log is open.
template <typename... Args>
void LogDiagnostic(fmt::format_string<Args...> format, Args&&... args) noexcept {
  if (!DiagnosticLogOpen()) return;
  try {
    WriteDiagnosticLine(fmt::format(format, std::forward<Args>(args)...));
  } catch (...) {
    // Out of memory while formatting: the line is lost.
  }
}

}  // namespace snh
