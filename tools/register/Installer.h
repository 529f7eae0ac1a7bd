#pragma once

// Carries out an install or a remove: validates everything first, then writes each manifest (and on
// Windows its registry value) and reports every path it writes or removes.

#include <filesystem>
#include <iosfwd>
#include <optional>

#include "HostFile.h"
#include "RegisterOptions.h"
#include "Registration.h"

namespace snh::reg {

// The registry values browsers read on Windows.
class Registry {
 public:
  virtual ~Registry() = default;
  // Sets the key's default value to `manifest`, creating the key. Throws std::runtime_error.
  virtual void SetManifestPath(const RegistryKey& key, const std::filesystem::path& manifest) = 0;
  // The key's default value, or nothing when the key or the value is absent.
  virtual std::optional<std::filesystem::path> ManifestPath(const RegistryKey& key) = 0;
  // Deletes the key; false when it was not there. Throws std::runtime_error.
  virtual bool DeleteKey(const RegistryKey& key) = 0;
};

std::string RegistryKeyText(const RegistryKey& key);

// The machine the tool runs on.
struct System {
  Os os;
  Environment environment;
  std::filesystem::path defaultHost;  // ssh-native-host beside the tool
  Registry* registry;                 // null where browsers read no registry
  // Refuses a host for every user when it says who else could change it.
  std::optional<std::string> (*changeableByOthers)(const std::filesystem::path& host) = ChangeableByOthers;
};

// Returns the exit status: 0 done, 1 a change failed or a foreign file was found (install writes
// nothing then), 2 bad input (nothing written). Reports go to `out`, errors to `err`.
int RunRegistration(const Options& options, const System& system, std::ostream& out, std::ostream& err);

}  // namespace snh::reg
