#pragma once

// What the platform says about the host's file before a manifest names it. One implementation per
// platform.

#include <filesystem>
#include <optional>
#include <string>

namespace snh::reg {

// Whether `host` (absolute, an existing regular file) can be started as a program: POSIX, this user may
// execute it; Windows, its extension is .exe, .com, .bat or .cmd.
bool IsRunnableFile(const std::filesystem::path& host);

// Who other than an administrator could change what `host` runs for every user, naming the file, the
// folder or the owner; nothing when no one can. POSIX: the file and every folder on its path, links
// resolved one by one, must be owned by root and not writable by group or others. Windows: the file
// and its folders must be owned by and changeable only by Administrators, SYSTEM or TrustedInstaller.
std::optional<std::string> ChangeableByOthers(const std::filesystem::path& host);

}  // namespace snh::reg
