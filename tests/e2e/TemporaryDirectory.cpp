#include "TemporaryDirectory.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace snh::e2e {

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
  const std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
  }
  path_ = name.data();
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;  // a leftover directory in /tmp is not worth failing a test over
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace snh::e2e
