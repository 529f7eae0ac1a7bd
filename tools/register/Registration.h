#pragma once

// What registering the host with a browser means, with no I/O: the browsers and their families, the
// extension ids each accepts, the manifest, and where each browser looks for it per system and scope.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace snh::reg {

// Valid for both families: lowercase alphanumerics, dots and underscores.
inline constexpr std::string_view kHostName = "com.sshnativehost.host";

enum class Browser { Chrome, Chromium, Edge, Firefox };
inline constexpr Browser kAllBrowsers[] = {Browser::Chrome, Browser::Chromium, Browser::Edge,
                                           Browser::Firefox};

// Chromium-family browsers name extensions by origin; Firefox by add-on id.
enum class Family { Chromium, Firefox };
enum class Scope { User, System };
enum class Os { Linux, MacOs, Windows };

Family FamilyOf(Browser browser);
std::string_view BrowserName(Browser browser);  // "chrome", "chromium", "edge", "firefox"
std::optional<Browser> ParseBrowser(std::string_view name);
std::string_view FamilyName(Family family);

// The family whose ids `id` is valid for, or none: Chromium ids are 32 letters a-p; Firefox ids are
// "name@domain" or a "{GUID}".
std::optional<Family> ExtensionIdFamily(std::string_view id);

// A browser's rule for host names: lowercase alphanumerics, dots and underscores; no dot at either
// end or after another dot.
bool IsValidHostName(std::string_view name);

// The manifest for one browser. `host` must be absolute; `extensionIds` all of the browser's family.
nlohmann::ordered_json MakeManifest(Browser browser, const std::filesystem::path& host,
                                    const std::vector<std::string>& extensionIds);

// Why `manifest` would not load in `browser`, or nothing when it would.
std::optional<std::string> ManifestProblem(Browser browser, const nlohmann::ordered_json& manifest);

// Where the directories that locations derive from are on this machine.
struct Environment {
  std::filesystem::path home;          // Linux, macOS
  std::filesystem::path configHome;    // XDG_CONFIG_HOME on Linux; empty when unset
  std::filesystem::path localAppData;  // Windows, user scope
};

// A registry value the browser reads on Windows: the default value of `subkey` under HKEY_CURRENT_USER
// (user scope) or HKEY_LOCAL_MACHINE (system scope) holds the manifest's full path.
struct RegistryKey {
  Scope scope;
  std::string subkey;
  bool operator==(const RegistryKey&) const = default;
};

struct Location {
  std::filesystem::path manifest;
  std::optional<RegistryKey> registryKey;
};

// Overrides of the default places, from the command line.
struct LocationOverrides {
  std::optional<std::filesystem::path> manifestDir = std::nullopt;  // the manifest goes here, for any browser
  std::optional<std::filesystem::path> userDataDir =
      std::nullopt;  // a Chromium-family profile (Linux, macOS)
};

// Where `browser` reads the host's manifest. `hostDir` is the folder of the host executable (Windows
// keeps system-wide manifests beside it). Throws std::invalid_argument when an override does not apply
// or a needed directory is unknown.
Location Locate(Browser browser, Scope scope, Os os, const Environment& environment,
                const std::filesystem::path& hostDir, const LocationOverrides& overrides);

// Where a manifest kept beside the host goes: <hostDir>/NativeMessagingHosts/<browser>/<name>.json
// (Windows, for every user and for the installer).
std::filesystem::path ManifestBesideHost(Browser browser, const std::filesystem::path& hostDir);

// A path as UTF-8, whatever the platform's narrow encoding.
std::string PathText(const std::filesystem::path& path);

}  // namespace snh::reg
