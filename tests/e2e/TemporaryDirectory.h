#pragma once

// A fresh directory under the system's temporary directory, removed with everything in it at the end.

#include <filesystem>
#include <string>

namespace snh::e2e {

class TemporaryDirectory {
 public:
  // Throws std::runtime_error when the directory cannot be made.
  explicit TemporaryDirectory(const std::string& prefix);
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  ~TemporaryDirectory();

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace snh::e2e
