// Writing a manifest on POSIX systems. Folders and the file get their modes explicitly, whatever the
// umask, and are reached through descriptors, so a link planted on the way is never written through.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <stdexcept>
#include <string>

#include "ManifestFile.h"
#include "Registration.h"
#include "platform/UniqueHandle.h"
#include "platform/RetryOnInterrupt.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

// Browsers run as other users too: everyone reads, only the owner writes.
constexpr mode_t kFolderMode = 0755;
constexpr mode_t kFileMode = 0644;
constexpr int kTemporaryNameAttempts = 10;

std::runtime_error ErrnoFailure(std::string_view what, const fs::path& file, int code) {
  return FileFailure(what, file, std::error_code(code, std::generic_category()));
}

// Opens `dir` (absolute), making each missing folder. Folders already there are taken as they are,
// links included; one made here is opened without following a link, so a swap is refused.
UniqueHandle OpenFolder(const fs::path& dir) {
  UniqueHandle current(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!current) throw ErrnoFailure("open the folder", "/", errno);
  for (const fs::path& part : dir.relative_path()) {
    if (part.empty()) continue;
    const bool made = mkdirat(current.get(), part.c_str(), kFolderMode) == 0;
    if (!made && errno != EEXIST) throw ErrnoFailure("create the folder", dir, errno);
    UniqueHandle next(
        openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (made ? O_NOFOLLOW : 0)));
    if (!next) throw ErrnoFailure("create the folder", dir, errno);
    // mkdir narrows the mode by the umask.
    if (made && fchmod(next.get(), kFolderMode) != 0)
      throw ErrnoFailure("set the permissions of", dir, errno);
    current = std::move(next);
  }
  return current;
}

// Unlinks the temporary name unless the rename took it.
class TemporaryName {
 public:
  TemporaryName(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;
  ~TemporaryName() {
    if (!name_.empty()) unlinkat(folder_, name_.c_str(), 0);
  }
  void Release() { name_.clear(); }

 private:
  int folder_;
  std::string name_;
};

void WriteAll(int fd, std::string_view contents, const fs::path& file) {
  while (!contents.empty()) {
    const ssize_t written = RetryOnInterrupt([&] { return write(fd, contents.data(), contents.size()); });
    if (written < 0) throw ErrnoFailure("write", file, errno);
    contents.remove_prefix(static_cast<size_t>(written));
  }
  if (fsync(fd) != 0) throw ErrnoFailure("write", file, errno);
}

}  // namespace

void WriteFileAtomically(const fs::path& file, std::string_view contents) {
  const UniqueHandle folder = OpenFolder(file.parent_path());
  const std::string name = file.filename().string();
  std::random_device entropy;
  std::string temporary;
  UniqueHandle out;
  for (int attempt = 1; !out; ++attempt) {
    temporary = name + "." + std::to_string(entropy()) + ".tmp";
    // O_EXCL and O_NOFOLLOW: a name planted in advance, link or file, fails the open instead.
    out.reset(openat(folder.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     kFileMode));
    if (!out && (errno != EEXIST || attempt == kTemporaryNameAttempts))
      throw ErrnoFailure("create", file.parent_path() / temporary, errno);
  }
  TemporaryName guard(folder.get(), temporary);
  if (fchmod(out.get(), kFileMode) != 0) throw ErrnoFailure("set the permissions of", file, errno);
  WriteAll(out.get(), contents, file);
  out.reset();
  // rename replaces whatever is at the name, a link included, without following it.
  if (renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0)
    throw ErrnoFailure("replace", file, errno);
  guard.Release();
}

}  // namespace snh::reg
