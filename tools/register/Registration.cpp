#include "Registration.h"

#include <algorithm>
#include <stdexcept>

namespace snh::reg {
namespace {

using std::filesystem::path;

bool IsLowerAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsAddonIdChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

bool IsChromiumId(std::string_view id) {
  return id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'p'; });
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
bool IsGuidId(std::string_view id) {
  static constexpr std::string_view kShape = "{hhhhhhhh-hhhh-hhhh-hhhh-hhhhhhhhhhhh}";
  if (id.size() != kShape.size()) return false;
  for (size_t i = 0; i < id.size(); ++i) {
    if (kShape[i] == 'h' ? !IsHexDigit(id[i]) : id[i] != kShape[i]) return false;
  }
  return true;
}

// AMO's rule: an optional name and a domain of letters, digits, '-', '.', '_' around one '@'.
bool IsEmailStyleId(std::string_view id) {
  static constexpr size_t kMaxLength = 255;
  const size_t at = id.find('@');
  if (at == std::string_view::npos || id.size() > kMaxLength) return false;
  const std::string_view name = id.substr(0, at);
  const std::string_view domain = id.substr(at + 1);
  return !domain.empty() && std::all_of(name.begin(), name.end(), IsAddonIdChar) &&
         std::all_of(domain.begin(), domain.end(), IsAddonIdChar);
}

constexpr std::string_view kChromiumScheme = "chrome-extension://";

std::string ChromiumOrigin(std::string_view id) {
  return std::string(kChromiumScheme) + std::string(id) + "/";
}

bool IsChromiumOrigin(std::string_view origin) {
  return origin.size() == kChromiumScheme.size() + 33 && origin.starts_with(kChromiumScheme) &&
         origin.back() == '/' && IsChromiumId(origin.substr(kChromiumScheme.size(), 32));
}

// Per-user profile roots on Linux follow XDG_CONFIG_HOME, as the browsers do.
path LinuxConfigHome(const Environment& environment) {
  if (!environment.configHome.empty() && environment.configHome.is_absolute()) return environment.configHome;
  return environment.home / ".config";
}

path RequireAbsolute(const path& dir, std::string_view what) {
  if (dir.empty() || !dir.is_absolute()) {
    throw std::invalid_argument(std::string(what) + " is not known (it must be an absolute path)");
  }
  return dir;
}

path LinuxDir(Browser browser, Scope scope, const Environment& environment) {
  if (scope == Scope::System) {
    switch (browser) {
      case Browser::Chrome:
        return "/etc/opt/chrome/native-messaging-hosts";
      case Browser::Chromium:
        return "/etc/chromium/native-messaging-hosts";
      case Browser::Edge:
        return "/etc/opt/edge/native-messaging-hosts";
      case Browser::Firefox:
        return "/usr/lib/mozilla/native-messaging-hosts";
    }
  }
  RequireAbsolute(environment.home, "the home directory (HOME)");
  switch (browser) {
    case Browser::Chrome:
      return LinuxConfigHome(environment) / "google-chrome" / "NativeMessagingHosts";
    case Browser::Chromium:
      return LinuxConfigHome(environment) / "chromium" / "NativeMessagingHosts";
    case Browser::Edge:
      return LinuxConfigHome(environment) / "microsoft-edge" / "NativeMessagingHosts";
    case Browser::Firefox:
      return environment.home / ".mozilla" / "native-messaging-hosts";
  }
  throw std::logic_error("unknown browser");
}

path MacDir(Browser browser, Scope scope, const Environment& environment) {
  if (scope == Scope::System) {
    switch (browser) {
      case Browser::Chrome:
        return "/Library/Google/Chrome/NativeMessagingHosts";
      case Browser::Chromium:
        return "/Library/Application Support/Chromium/NativeMessagingHosts";
      case Browser::Edge:
        return "/Library/Microsoft/Edge/NativeMessagingHosts";
      case Browser::Firefox:
        return "/Library/Application Support/Mozilla/NativeMessagingHosts";
    }
  }
  const path support =
      RequireAbsolute(environment.home, "the home directory (HOME)") / "Library" / "Application Support";
  switch (browser) {
    case Browser::Chrome:
      return support / "Google" / "Chrome" / "NativeMessagingHosts";
    case Browser::Chromium:
      return support / "Chromium" / "NativeMessagingHosts";
    case Browser::Edge:
      return support / "Microsoft Edge" / "NativeMessagingHosts";
    case Browser::Firefox:
      return support / "Mozilla" / "NativeMessagingHosts";
  }
  throw std::logic_error("unknown browser");
}

std::string WindowsSubkey(Browser browser) {
  const std::string hosts = "\\NativeMessagingHosts\\" + std::string(kHostName);
  switch (browser) {
    case Browser::Chrome:
      return "Software\\Google\\Chrome" + hosts;
    case Browser::Chromium:
      return "Software\\Chromium" + hosts;
    case Browser::Edge:
      return "Software\\Microsoft\\Edge" + hosts;
    case Browser::Firefox:
      return "Software\\Mozilla" + hosts;
  }
  throw std::logic_error("unknown browser");
}

constexpr const char* kManifestsFolder = "NativeMessagingHosts";

// Windows reads the manifest from wherever the registry says; one folder per browser keeps the
// Chromium-family and Firefox manifests (which differ) apart under one file name.
path WindowsDir(Browser browser, Scope scope, const Environment& environment, const path& hostDir) {
  const path base = scope == Scope::System ? RequireAbsolute(hostDir, "the host's folder")
                                           : RequireAbsolute(environment.localAppData,
                                                             "the local application data folder "
                                                             "(LOCALAPPDATA)") /
                                                 "ssh-native-host";
  return base / kManifestsFolder / std::string(BrowserName(browser));
}

}  // namespace

Family FamilyOf(Browser browser) { return browser == Browser::Firefox ? Family::Firefox : Family::Chromium; }

std::string_view BrowserName(Browser browser) {
  switch (browser) {
    case Browser::Chrome:
      return "chrome";
    case Browser::Chromium:
      return "chromium";
    case Browser::Edge:
      return "edge";
    case Browser::Firefox:
      return "firefox";
  }
  return "unknown";
}

std::optional<Browser> ParseBrowser(std::string_view name) {
  for (Browser browser : kAllBrowsers) {
    if (BrowserName(browser) == name) return browser;
  }
  return std::nullopt;
}

std::string_view FamilyName(Family family) {
  return family == Family::Firefox ? "Firefox" : "Chromium-family";
}

std::optional<Family> ExtensionIdFamily(std::string_view id) {
  if (IsChromiumId(id)) return Family::Chromium;
  if (IsGuidId(id) || IsEmailStyleId(id)) return Family::Firefox;
  return std::nullopt;
}

bool IsValidHostName(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '.' ||
      name.find("..") != std::string_view::npos) {
    return false;
  }
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsLowerAlnum(c) || c == '.' || c == '_'; });
}

path ManifestBesideHost(Browser browser, const path& hostDir) {
  return hostDir / kManifestsFolder / std::string(BrowserName(browser)) / (std::string(kHostName) + ".json");
}

std::string PathText(const path& p) {
  const std::u8string text = p.u8string();
  return std::string(text.begin(), text.end());
}

nlohmann::ordered_json MakeManifest(Browser browser, const path& host,
                                    const std::vector<std::string>& extensionIds) {
  nlohmann::ordered_json manifest = {
      {"name", kHostName},
      {"description", "ssh-native-host: starts and drives SSH clients for a browser extension"},
      {"path", PathText(host)},
      {"type", "stdio"},
  };
  if (FamilyOf(browser) == Family::Firefox) {
    manifest["allowed_extensions"] = extensionIds;
  } else {
    nlohmann::ordered_json origins = nlohmann::ordered_json::array();
    for (const std::string& id : extensionIds) origins.push_back(ChromiumOrigin(id));
    manifest["allowed_origins"] = std::move(origins);
  }
  return manifest;
}

std::optional<std::string> ManifestProblem(Browser browser, const nlohmann::ordered_json& manifest) {
  if (!manifest.is_object()) return "the manifest is not a JSON object";
  try {
    (void)manifest.dump();
  } catch (const nlohmann::json::type_error&) {
    return "the manifest holds text that is not valid UTF-8";
  }
  for (const char* key : {"name", "description", "path", "type"}) {
    if (!manifest.contains(key) || !manifest[key].is_string())
      return std::string("\"") + key + "\" is not a string";
  }
  if (!IsValidHostName(manifest["name"].get<std::string>())) return "\"name\" is not a valid host name";
  if (manifest["type"] != "stdio") return "\"type\" is not \"stdio\"";
  const std::string host = manifest["path"].get<std::string>();
  if (!path(std::u8string(host.begin(), host.end())).is_absolute()) return "\"path\" is not absolute";

  const bool firefox = FamilyOf(browser) == Family::Firefox;
  const char* listKey = firefox ? "allowed_extensions" : "allowed_origins";
  const char* otherKey = firefox ? "allowed_origins" : "allowed_extensions";
  if (manifest.contains(otherKey))
    return std::string("\"") + otherKey + "\" is not read by " + std::string(BrowserName(browser));
  if (!manifest.contains(listKey) || !manifest[listKey].is_array() || manifest[listKey].empty()) {
    return std::string("\"") + listKey + "\" is missing or empty";
  }
  for (const nlohmann::ordered_json& entry : manifest[listKey]) {
    if (!entry.is_string()) return std::string("\"") + listKey + "\" holds a value that is not a string";
    const std::string text = entry.get<std::string>();
    const bool valid = firefox ? ExtensionIdFamily(text) == Family::Firefox : IsChromiumOrigin(text);
    if (!valid) return std::string("\"") + listKey + "\" holds \"" + text + "\", which is not valid";
  }
  return std::nullopt;
}

Location Locate(Browser browser, Scope scope, Os os, const Environment& environment, const path& hostDir,
                const LocationOverrides& overrides) {
  const path fileName = std::string(kHostName) + ".json";
  path dir;
  if (overrides.manifestDir) {
    dir = RequireAbsolute(*overrides.manifestDir, "--manifest-dir");
  } else if (overrides.userDataDir) {
    if (FamilyOf(browser) != Family::Chromium) {
      throw std::invalid_argument("--user-data-dir applies to Chromium-family browsers, not " +
                                  std::string(BrowserName(browser)));
    }
    if (os == Os::Windows) {
      throw std::invalid_argument(
          "--user-data-dir is not read on Windows, where browsers find hosts through the registry");
    }
    // A Chromium-family browser started with --user-data-dir reads user-level hosts from there.
    dir = RequireAbsolute(*overrides.userDataDir, "--user-data-dir") / "NativeMessagingHosts";
  } else if (os == Os::Linux) {
    dir = LinuxDir(browser, scope, environment);
  } else if (os == Os::MacOs) {
    dir = MacDir(browser, scope, environment);
  } else {
    dir = WindowsDir(browser, scope, environment, hostDir);
  }

  Location location{dir / fileName, std::nullopt};
  if (os == Os::Windows) location.registryKey = RegistryKey{scope, WindowsSubkey(browser)};
  return location;
}

}  // namespace snh::reg
