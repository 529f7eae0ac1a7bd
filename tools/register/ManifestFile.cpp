#include "ManifestFile.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <system_error>

#include "Registration.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

// Manifests are a few hundred bytes; anything much larger is not ours and is not read whole.
constexpr std::uintmax_t kMaxManifestSize = 64 * 1024;

}  // namespace

std::runtime_error FileFailure(std::string_view what, const fs::path& file, std::error_code error) {
  return std::runtime_error("cannot " + std::string(what) + " " + PathText(file) + ": " + error.message());
}

ManifestState InspectManifest(const fs::path& file) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(file, error);
  if (status.type() == fs::file_type::not_found) return ManifestState::Absent;
  if (error) throw FileFailure("inspect", file, error);
  if (status.type() != fs::file_type::regular) return ManifestState::NotOurs;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) throw FileFailure("inspect", file, error);
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
  if (error) throw FileFailure("remove", file, error);
}

}  // namespace snh::reg
