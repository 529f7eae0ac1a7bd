#include "ManifestFile.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "Registration.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

// Manifests are a few hundred bytes; anything much larger is not ours and is not read whole.
constexpr std::uintmax_t kMaxManifestSize = 64 * 1024;

std::runtime_error Failure(std::string_view what, const fs::path& file, const std::error_code& error) {
  return std::runtime_error("cannot " + std::string(what) + " " + PathText(file) + ": " + error.message());
}

fs::path TemporaryNameBeside(const fs::path& file) {
  std::random_device entropy;
  return file.parent_path() / (file.filename().string() + "." + std::to_string(entropy()) + ".tmp");
}

// Removes the temporary file unless the rename took it.
class TemporaryFile {
 public:
  explicit TemporaryFile(fs::path file) : file_(std::move(file)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    std::error_code ignored;
    if (!file_.empty()) fs::remove(file_, ignored);
  }
  const fs::path& path() const { return file_; }
  void Release() { file_.clear(); }

 private:
  fs::path file_;
};

}  // namespace

void WriteFileAtomically(const fs::path& file, std::string_view contents) {
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  if (error) throw Failure("create the folder", file.parent_path(), error);

  TemporaryFile temporary(TemporaryNameBeside(file));
  {
    std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + PathText(temporary.path()));
  }
  // Browsers run as other users too; a system-wide manifest must be readable by all.
  fs::permissions(
      temporary.path(),
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read, error);
  if (error) throw Failure("set the permissions of", temporary.path(), error);
  fs::rename(temporary.path(), file, error);
  if (error) throw Failure("replace", file, error);
  temporary.Release();
}

ManifestState InspectManifest(const fs::path& file) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(file, error);
  if (status.type() == fs::file_type::not_found) return ManifestState::Absent;
  if (error) throw Failure("inspect", file, error);
  if (status.type() != fs::file_type::regular) return ManifestState::NotOurs;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) throw Failure("inspect", file, error);
  if (size > kMaxManifestSize) return ManifestState::NotOurs;

  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + PathText(file));
  std::string text(static_cast<size_t>(size), '\0');
  if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
    throw std::runtime_error("cannot read " + PathText(file));
  }
  const nlohmann::json manifest = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  const bool ours = manifest.is_object() && manifest.contains("name") && manifest["name"] == kHostName;
  return ours ? ManifestState::Ours : ManifestState::NotOurs;
}

void RemoveFile(const fs::path& file) {
  std::error_code error;
  fs::remove(file, error);
  if (error) throw Failure("remove", file, error);
}

}  // namespace snh::reg
