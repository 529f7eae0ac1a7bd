#pragma once

// Writing and removing manifest files: a manifest is replaced whole or not at all, and only a
// manifest of this host is ever removed.

#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace snh::reg {

// Writes `contents` to a new temporary file beside `file` and renames it over `file`, creating the
// folders on the way; neither follows a link planted at a name it makes. On POSIX folders get 0755 and
// the file 0644 whatever the umask. Throws std::runtime_error naming the path on failure; then `file`
// is as it was. One implementation per platform.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

enum class ManifestState { Absent, Ours, NotOurs };

// Whether `file` is a manifest naming this host. Throws std::runtime_error when it cannot be read.
ManifestState InspectManifest(const std::filesystem::path& file);

// Throws std::runtime_error naming the path when `file` cannot be removed.
void RemoveFile(const std::filesystem::path& file);

// The error every file step above throws: "cannot <what> <path>: <system text>".
std::runtime_error FileFailure(std::string_view what, const std::filesystem::path& file,
                               std::error_code error);

}  // namespace snh::reg
