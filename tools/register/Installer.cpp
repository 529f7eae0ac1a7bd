#include "Installer.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "ManifestFile.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadInput = 2;

struct Target {
  Location location;
  nlohmann::ordered_json manifest;
};

std::vector<Browser> SelectedBrowsers(const Options& options) {
  if (options.allBrowsers) return {std::begin(kAllBrowsers), std::end(kAllBrowsers)};
  return options.browsers;
}

std::vector<std::string> IdsOf(Family family, const std::vector<std::string>& ids) {
  std::vector<std::string> selected;
  std::copy_if(ids.begin(), ids.end(), std::back_inserter(selected),
               [family](const std::string& id) { return ExtensionIdFamily(id) == family; });
  return selected;
}

fs::path ResolveHost(const Options& options, const System& system) {
  fs::path host = options.host.value_or(system.defaultHost);
  if (host.empty()) throw std::invalid_argument("the host's path is unknown: give it with --host");
  if (!host.is_absolute()) host = fs::absolute(host);
  host = host.lexically_normal();
  std::error_code error;
  if (!fs::is_regular_file(host, error)) {
    throw std::invalid_argument("the host " + PathText(host) +
                                " is not an existing file (give its path with --host)");
  }
  if (!IsRunnableFile(host)) {
    throw std::invalid_argument(
        "the host " + PathText(host) +
        " is not an executable program (give the path of ssh-native-host with --host)");
  }
  // Every user's browser would run whatever someone able to change the file put there.
  if (options.scope == Scope::System) {
    if (const std::optional<std::string> writer = system.changeableByOthers(host)) {
      throw std::invalid_argument(
          "refusing to register " + PathText(host) + " for every user: " + *writer +
          "; install the host where only root (on Windows, an administrator) can change it, or use "
          "--scope user");
    }
  }
  return host;
}

Location LocateOn(const System& system, Browser browser, const Options& options, const fs::path& hostDir) {
  Location location =
      Locate(browser, options.scope, system.os, system.environment, hostDir, options.overrides);
  if (location.registryKey && system.registry == nullptr) {
    throw std::invalid_argument("the registry is not available on this system");
  }
  return location;
}

// Everything is checked before anything is written.
std::vector<Target> PlanInstall(const Options& options, const System& system, const fs::path& host,
                                std::ostream& out) {
  const std::vector<Browser> browsers = SelectedBrowsers(options);
  for (const std::string& id : options.extensionIds) {
    const Family family = *ExtensionIdFamily(id);
    if (std::none_of(browsers.begin(), browsers.end(),
                     [family](Browser b) { return FamilyOf(b) == family; })) {
      throw std::invalid_argument("the extension id \"" + id + "\" is a " + std::string(FamilyName(family)) +
                                  " id, and no such browser was chosen");
    }
  }

  std::vector<Target> targets;
  for (Browser browser : browsers) {
    const std::string name(BrowserName(browser));
    const std::string familyName(FamilyName(FamilyOf(browser)));
    const std::vector<std::string> ids = IdsOf(FamilyOf(browser), options.extensionIds);
    if (ids.empty()) {
      if (!options.allBrowsers)
        throw std::invalid_argument("no " + familyName + " extension id given for " + name);
      out << "skipped " << name << ": no " << familyName << " extension id given\n";
      continue;
    }
    nlohmann::ordered_json manifest = MakeManifest(browser, host, ids);
    if (const std::optional<std::string> problem = ManifestProblem(browser, manifest)) {
      throw std::invalid_argument("refusing to write a broken manifest for " + name + ": " + *problem);
    }
    Location location = LocateOn(system, browser, options, host.parent_path());
    if (InspectManifest(location.manifest) == ManifestState::NotOurs) {
      throw std::runtime_error(PathText(location.manifest) + " is not a manifest of " +
                               std::string(kHostName) + "; remove it yourself if you want to replace it");
    }
    targets.push_back({std::move(location), std::move(manifest)});
  }
  return targets;
}

void WriteManifest(const Target& target, bool dryRun, std::ostream& out) {
  const std::string text = target.manifest.dump(2) + "\n";
  const fs::path& manifest = target.location.manifest;
  if (dryRun) {
    out << "would write " << PathText(manifest) << ":\n" << text;
  } else {
    WriteFileAtomically(manifest, text);
    out << "wrote " << PathText(manifest) << "\n";
  }
}

int Install(const Options& options, const System& system, std::ostream& out) {
  const fs::path host = ResolveHost(options, system);
  const std::vector<Target> targets = PlanInstall(options, system, host, out);
  const std::string prefix = options.dryRun ? "would " : "";
  for (const Target& target : targets) {
    WriteManifest(target, options.dryRun, out);
    if (const std::optional<RegistryKey>& key = target.location.registryKey) {
      if (!options.dryRun) system.registry->SetManifestPath(*key, target.location.manifest);
      out << prefix << "set " << RegistryKeyText(*key) << " to " << PathText(target.location.manifest)
          << "\n";
    }
  }
  return kDone;
}

// The installer's step: manifests beside the host, no registry (the installer owns those values) and
// no check of who may change the host (the installer put it there). It writes only into the host's own
// folder, so it gives no one a change they could not already make.
int WriteManifests(const Options& options, const System& system, std::ostream& out) {
  if (options.extensionIds.empty()) {
    out << "no extension id given: no manifest written, the host is registered for no browser\n";
    return kDone;
  }
  const fs::path host = ResolveHost(options, system);
  std::vector<Target> targets;
  for (Browser browser : kAllBrowsers) {
    const std::vector<std::string> ids = IdsOf(FamilyOf(browser), options.extensionIds);
    if (ids.empty()) continue;
    nlohmann::ordered_json manifest = MakeManifest(browser, host, ids);
    if (const std::optional<std::string> problem = ManifestProblem(browser, manifest)) {
      throw std::invalid_argument("refusing to write a broken manifest for " +
                                  std::string(BrowserName(browser)) + ": " + *problem);
    }
    const fs::path file = ManifestBesideHost(browser, host.parent_path());
    if (InspectManifest(file) == ManifestState::NotOurs) {
      throw std::runtime_error(PathText(file) + " is not a manifest of " + std::string(kHostName) +
                               "; remove it yourself if you want to replace it");
    }
    targets.push_back({{file, std::nullopt}, std::move(manifest)});
  }
  for (const Target& target : targets) WriteManifest(target, options.dryRun, out);
  return kDone;
}

int Remove(const Options& options, const System& system, std::ostream& out, std::ostream& err) {
  const fs::path host = options.host.value_or(system.defaultHost);
  const fs::path hostDir = host.empty() ? fs::path() : fs::absolute(host).parent_path();
  int status = kDone;
  for (Browser browser : SelectedBrowsers(options)) {
    const Location location = LocateOn(system, browser, options, hostDir);
    // On Windows the registry says where the manifest went, wherever that was.
    std::vector<fs::path> manifests;
    if (location.registryKey) {
      if (std::optional<fs::path> registered = system.registry->ManifestPath(*location.registryKey)) {
        manifests.push_back(std::move(*registered));
      }
    }
    if (std::find(manifests.begin(), manifests.end(), location.manifest) == manifests.end()) {
      manifests.push_back(location.manifest);
    }
    for (const fs::path& manifest : manifests) {
      switch (InspectManifest(manifest)) {
        case ManifestState::Absent:
          out << "nothing at " << PathText(manifest) << "\n";
          break;
        case ManifestState::NotOurs:
          err << "left " << PathText(manifest) << ": it is not a manifest of " << kHostName << "\n";
          status = kFailed;
          break;
        case ManifestState::Ours:
          if (!options.dryRun) RemoveFile(manifest);
          out << (options.dryRun ? "would remove " : "removed ") << PathText(manifest) << "\n";
          break;
      }
    }
    if (const std::optional<RegistryKey>& key = location.registryKey) {
      const bool present =
          options.dryRun ? system.registry->ManifestPath(*key).has_value() : system.registry->DeleteKey(*key);
      out << (!present         ? "no key "
              : options.dryRun ? "would delete "
                               : "deleted ")
          << RegistryKeyText(*key) << "\n";
    }
  }
  return status;
}

}  // namespace

std::string RegistryKeyText(const RegistryKey& key) {
  return (key.scope == Scope::User ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + key.subkey;
}

int RunRegistration(const Options& options, const System& system, std::ostream& out, std::ostream& err) {
  try {
    if (options.command == Command::Install) return Install(options, system, out);
    if (options.command == Command::Remove) return Remove(options, system, out, err);
    if (options.command == Command::WriteManifests) return WriteManifests(options, system, out);
    if (options.command == Command::Version) {
      out << "ssh-native-host-register " SNH_VERSION "\n";
      return kDone;
    }
    out << UsageText();
    return kDone;
  } catch (const std::invalid_argument& e) {
    err << "ssh-native-host-register: " << e.what() << "\n";
    return kBadInput;
  } catch (const std::exception& e) {
    err << "ssh-native-host-register: " << e.what() << "\n";
    return kFailed;
  }
}

}  // namespace snh::reg
