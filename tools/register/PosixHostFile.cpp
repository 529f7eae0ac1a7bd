#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "HostFile.h"
#include "Registration.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

// As the kernel's own limit on links in one lookup.
constexpr int kMaxLinks = 40;

std::optional<std::string> OthersMayWrite(const fs::path& file, const struct stat& status) {
  if (status.st_uid != 0)
    return PathText(file) + " is owned by user " + std::to_string(status.st_uid) + ", not root";
  // The group bits also carry the mask of any access-control list granting write to others.
  if ((status.st_mode & S_IWOTH) != 0) return PathText(file) + " is writable by every user";
  if ((status.st_mode & S_IWGRP) != 0) return PathText(file) + " is writable by its group";
  return std::nullopt;
}

// Names still to walk, the next one last.
void PushNames(std::vector<fs::path>& pending, const fs::path& path) {
  std::vector<fs::path> names;
  for (const fs::path& name : path.relative_path()) {
    if (!name.empty() && name != ".") names.push_back(name);
  }
  pending.insert(pending.end(), names.rbegin(), names.rend());
}

}  // namespace

bool IsRunnableFile(const fs::path& host) { return access(host.c_str(), X_OK) == 0; }

// The path is resolved here name by name, so that the folder holding each link followed is checked
// as well as the folders of the file the links lead to.
std::optional<std::string> ChangeableByOthers(const fs::path& host) {
  struct stat status {};
  fs::path current = "/";
  if (stat(current.c_str(), &status) != 0)
    return "cannot inspect /: " + std::generic_category().message(errno);
  if (std::optional<std::string> writer = OthersMayWrite(current, status)) return writer;
  std::vector<fs::path> pending;
  PushNames(pending, host);
  int links = 0;
  while (!pending.empty()) {
    const fs::path name = pending.back();
    pending.pop_back();
    // `current` has no links in it, so its parent is the real one, checked on the way down.
    if (name == "..") {
      current = current.parent_path();
      continue;
    }
    const fs::path next = current / name;
    if (lstat(next.c_str(), &status) != 0)
      return "cannot inspect " + PathText(next) + ": " + std::generic_category().message(errno);
    if (S_ISLNK(status.st_mode)) {
      if (++links > kMaxLinks) return PathText(host) + " leads through too many links";
      std::error_code error;
      const fs::path target = fs::read_symlink(next, error);
      if (error) return "cannot read the link " + PathText(next) + ": " + error.message();
      if (target.is_absolute()) current = "/";
      PushNames(pending, target);
      continue;
    }
    if (std::optional<std::string> writer = OthersMayWrite(next, status)) return writer;
    current = next;
  }
  return std::nullopt;
}

}  // namespace snh::reg
