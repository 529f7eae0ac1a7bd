#pragma once

// The diagnostic log's file (SSH_NATIVE_HOST_LOG names it): opened for appending without following a
// link at its name and without ever blocking; anything but a regular file is refused (a link itself, a
// FIFO, a device, a directory), and a new file is its owner's alone (0600 on POSIX; on Windows it takes
// the permissions its folder passes on).

#include <filesystem>
#include <memory>

#include "base/OutputSink.h"
#include "platform/UniqueHandle.h"

namespace snh {

// The file as a sink of whole writes, or null when it cannot be opened as above.
std::unique_ptr<OutputSink> OpenLogFile(const std::filesystem::path& file);

// The file's handle, or none: what each platform implements for OpenLogFile.
UniqueHandle OpenLogFileHandle(const std::filesystem::path& file);

}  // namespace snh
