#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Registration.h"

namespace snh::reg {
namespace {

using std::filesystem::path;

// Absolute on whichever system runs the tests.
const path kRoot = std::filesystem::absolute("snh-root");
const path kHost = kRoot / "bin" / "ssh-native-host";

// A path of the tables, under kRoot.
path At(std::string_view absolute) { return kRoot / absolute.substr(1); }

struct IdCase {
  std::string id;
  std::optional<Family> family;
};

TEST(ExtensionIdFamily, AcceptsEachFamilysIdsAndRefusesTheRest) {
  const IdCase cases[] = {
      {"dimnjlmdmbeogedbmnlfcndbbfpbkgei", Family::Chromium},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", Family::Chromium},
      {"pppppppppppppppppppppppppppppppp", Family::Chromium},
      {"dimnjlmdmbeogedbmnlfcndbbfpbkge", std::nullopt},    // 31 letters
      {"dimnjlmdmbeogedbmnlfcndbbfpbkgeia", std::nullopt},  // 33 letters
      {"qimnjlmdmbeogedbmnlfcndbbfpbkgei", std::nullopt},   // q is past p
      {"DIMNJLMDMBEOGEDBMNLFCNDBBFPBKGEI", std::nullopt},   // upper case
      {"snh@example.org", Family::Firefox},
      {"ssh-native_host.test@example-1.org", Family::Firefox},
      {"@example.org", Family::Firefox},  // AMO allows an empty name
      {"{01234567-89ab-cdef-0123-456789ABCDEF}", Family::Firefox},
      {"{01234567-89ab-cdef-0123-456789abcde}", std::nullopt},   // one digit short
      {"{01234567-89ab-cdef-0123-456789abcdeg}", std::nullopt},  // not hex
      {"01234567-89ab-cdef-0123-456789abcdef", std::nullopt},    // no braces
      {"snh@", std::nullopt},
      {"snh", std::nullopt},
      {"snh@exa mple.org", std::nullopt},
      {"snh@example.org\"", std::nullopt},  // would break out of a JSON string
      {"a@b@c", std::nullopt},
      {"", std::nullopt},
      {std::string(250, 'a') + "@example.org", std::nullopt},  // longer than any real id
  };
  for (const IdCase& c : cases) {
    EXPECT_EQ(ExtensionIdFamily(c.id), c.family) << c.id;
  }
}

TEST(IsValidHostName, FollowsTheBrowsersRule) {
  EXPECT_TRUE(IsValidHostName(kHostName));
  EXPECT_TRUE(IsValidHostName("a_b.c1"));
  for (const char* bad : {"", ".com.host", "com.host.", "com..host", "Com.host", "com-host", "com host"}) {
    EXPECT_FALSE(IsValidHostName(bad)) << bad;
  }
}

TEST(Browsers, NamesRoundTripAndFamiliesAreRight) {
  for (Browser browser : kAllBrowsers) {
    EXPECT_EQ(ParseBrowser(BrowserName(browser)), browser);
  }
  EXPECT_EQ(ParseBrowser("Chrome"), std::nullopt);
  EXPECT_EQ(ParseBrowser("all"), std::nullopt);
  EXPECT_EQ(FamilyOf(Browser::Edge), Family::Chromium);
  EXPECT_EQ(FamilyOf(Browser::Firefox), Family::Firefox);
}

TEST(MakeManifest, ChromiumFamilyListsOrigins) {
  const auto manifest = MakeManifest(
      Browser::Chrome, kHost, {"dimnjlmdmbeogedbmnlfcndbbfpbkgei", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"});
  EXPECT_EQ(
      manifest.dump(),
      R"({"name":"com.sshnativehost.host","description":"ssh-native-host: starts and drives SSH clients )"
      R"(for a browser extension","path":)" +
          nlohmann::json(PathText(kHost)).dump() +
          R"(,"type":"stdio","allowed_origins":)"
          R"(["chrome-extension://dimnjlmdmbeogedbmnlfcndbbfpbkgei/","chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"]})");
  EXPECT_EQ(ManifestProblem(Browser::Chrome, manifest), std::nullopt);
}

TEST(MakeManifest, FirefoxListsExtensionIds) {
  const auto manifest = MakeManifest(Browser::Firefox, kHost, {"snh@example.org"});
  EXPECT_EQ(manifest["allowed_extensions"], nlohmann::ordered_json::array({"snh@example.org"}));
  EXPECT_FALSE(manifest.contains("allowed_origins"));
  EXPECT_EQ(manifest["name"], "com.sshnativehost.host");
  EXPECT_EQ(ManifestProblem(Browser::Firefox, manifest), std::nullopt);
}

TEST(ManifestProblem, RefusesEveryBrokenField) {
  const auto good = MakeManifest(Browser::Chromium, kHost, {"dimnjlmdmbeogedbmnlfcndbbfpbkgei"});
  struct Case {
    const char* what;
    std::string key;
    nlohmann::ordered_json value;  // null removes the key
    std::string problem;
  };
  const Case cases[] = {
      {"relative path", "path", "bin/ssh-native-host", "\"path\" is not absolute"},
      {"path not UTF-8", "path", "/opt/\xff", "the manifest holds text that is not valid UTF-8"},
      {"no path", "path", nullptr, "\"path\" is not a string"},
      {"bad name", "name", "com..host", "\"name\" is not a valid host name"},
      {"wrong type", "type", "pipe", "\"type\" is not \"stdio\""},
      {"empty origins", "allowed_origins", nlohmann::ordered_json::array(),
       "\"allowed_origins\" is missing or empty"},
      {"no origins", "allowed_origins", nullptr, "\"allowed_origins\" is missing or empty"},
      {"wildcard origin",
       "allowed_origins",
       {"chrome-extension://*/"},
       "\"allowed_origins\" holds \"chrome-extension://*/\", which is not valid"},
      {"origin without slash",
       "allowed_origins",
       {"chrome-extension://dimnjlmdmbeogedbmnlfcndbbfpbkgei"},
       "\"allowed_origins\" holds \"chrome-extension://dimnjlmdmbeogedbmnlfcndbbfpbkgei\", which is not "
       "valid"},
      {"bare id",
       "allowed_origins",
       {"dimnjlmdmbeogedbmnlfcndbbfpbkgei"},
       "\"allowed_origins\" holds \"dimnjlmdmbeogedbmnlfcndbbfpbkgei\", which is not valid"},
      {"Firefox key in a Chromium manifest",
       "allowed_extensions",
       {"snh@example.org"},
       "\"allowed_extensions\" is not read by chromium"},
  };
  for (const Case& c : cases) {
    auto manifest = good;
    if (c.value.is_null()) {
      manifest.erase(c.key);
    } else {
      manifest[c.key] = c.value;
    }
    EXPECT_EQ(ManifestProblem(Browser::Chromium, manifest), c.problem) << c.what;
  }
  EXPECT_EQ(ManifestProblem(Browser::Chromium, nlohmann::ordered_json::array()),
            "the manifest is not a JSON object");

  auto firefox = MakeManifest(Browser::Firefox, kHost, {"snh@example.org"});
  firefox["allowed_extensions"] = {"chrome-extension://dimnjlmdmbeogedbmnlfcndbbfpbkgei/"};
  EXPECT_EQ(ManifestProblem(Browser::Firefox, firefox),
            "\"allowed_extensions\" holds \"chrome-extension://dimnjlmdmbeogedbmnlfcndbbfpbkgei/\", which is "
            "not valid");
}

struct LocationCase {
  Browser browser;
  Scope scope;
  Os os;
  path manifestDir;
  std::optional<std::string> registryKey;
};

TEST(Locate, EachBrowserScopeAndSystem) {
  const Environment environment{At("/home/ada"), "", At("/appdata/local")};
  const path hostDir = At("/opt/snh");
  const std::string hostsKey = "\\NativeMessagingHosts\\com.sshnativehost.host";
  const LocationCase cases[] = {
      {Browser::Chrome,
       Scope::User,
       Os::Linux,
       At("/home/ada/.config/google-chrome/NativeMessagingHosts"),
       {}},
      {Browser::Chromium, Scope::User, Os::Linux, At("/home/ada/.config/chromium/NativeMessagingHosts"), {}},
      {Browser::Edge,
       Scope::User,
       Os::Linux,
       At("/home/ada/.config/microsoft-edge/NativeMessagingHosts"),
       {}},
      {Browser::Firefox, Scope::User, Os::Linux, At("/home/ada/.mozilla/native-messaging-hosts"), {}},
      {Browser::Chrome, Scope::System, Os::Linux, "/etc/opt/chrome/native-messaging-hosts", {}},
      {Browser::Chromium, Scope::System, Os::Linux, "/etc/chromium/native-messaging-hosts", {}},
      {Browser::Edge, Scope::System, Os::Linux, "/etc/opt/edge/native-messaging-hosts", {}},
      {Browser::Firefox, Scope::System, Os::Linux, "/usr/lib/mozilla/native-messaging-hosts", {}},
      {Browser::Chrome,
       Scope::User,
       Os::MacOs,
       At("/home/ada/Library/Application Support/Google/Chrome/NativeMessagingHosts"),
       {}},
      {Browser::Chromium,
       Scope::User,
       Os::MacOs,
       At("/home/ada/Library/Application Support/Chromium/NativeMessagingHosts"),
       {}},
      {Browser::Edge,
       Scope::User,
       Os::MacOs,
       At("/home/ada/Library/Application Support/Microsoft Edge/NativeMessagingHosts"),
       {}},
      {Browser::Firefox,
       Scope::User,
       Os::MacOs,
       At("/home/ada/Library/Application Support/Mozilla/NativeMessagingHosts"),
       {}},
      {Browser::Chrome, Scope::System, Os::MacOs, "/Library/Google/Chrome/NativeMessagingHosts", {}},
      {Browser::Chromium,
       Scope::System,
       Os::MacOs,
       "/Library/Application Support/Chromium/NativeMessagingHosts",
       {}},
      {Browser::Edge, Scope::System, Os::MacOs, "/Library/Microsoft/Edge/NativeMessagingHosts", {}},
      {Browser::Firefox,
       Scope::System,
       Os::MacOs,
       "/Library/Application Support/Mozilla/NativeMessagingHosts",
       {}},
      {Browser::Chrome, Scope::User, Os::Windows,
       path(At("/appdata/local/ssh-native-host/NativeMessagingHosts/chrome")),
       "Software\\Google\\Chrome" + hostsKey},
      {Browser::Chromium, Scope::User, Os::Windows,
       path(At("/appdata/local/ssh-native-host/NativeMessagingHosts/chromium")),
       "Software\\Chromium" + hostsKey},
      {Browser::Edge, Scope::System, Os::Windows, path(At("/opt/snh/NativeMessagingHosts/edge")),
       "Software\\Microsoft\\Edge" + hostsKey},
      {Browser::Firefox, Scope::System, Os::Windows, path(At("/opt/snh/NativeMessagingHosts/firefox")),
       "Software\\Mozilla" + hostsKey},
  };
  for (const LocationCase& c : cases) {
    const Location location = Locate(c.browser, c.scope, c.os, environment, hostDir, {});
    const std::string label = std::string(BrowserName(c.browser)) +
                              (c.scope == Scope::User ? " user " : " system ") +
                              std::to_string(static_cast<int>(c.os));
    EXPECT_EQ(location.manifest, c.manifestDir / "com.sshnativehost.host.json") << label;
    if (c.registryKey) {
      ASSERT_TRUE(location.registryKey.has_value()) << label;
      EXPECT_EQ(location.registryKey->subkey, *c.registryKey) << label;
      EXPECT_EQ(location.registryKey->scope, c.scope) << label;
    } else {
      EXPECT_FALSE(location.registryKey.has_value()) << label;
    }
  }
}

TEST(Locate, LinuxProfilesFollowXdgConfigHome) {
  const Environment environment{At("/home/ada"), At("/xdg"), ""};
  EXPECT_EQ(Locate(Browser::Chrome, Scope::User, Os::Linux, environment, "", {}).manifest,
            path(At("/xdg/google-chrome/NativeMessagingHosts/com.sshnativehost.host.json")));
  // Firefox keeps its folder under the home directory.
  EXPECT_EQ(Locate(Browser::Firefox, Scope::User, Os::Linux, environment, "", {}).manifest,
            path(At("/home/ada/.mozilla/native-messaging-hosts/com.sshnativehost.host.json")));
  // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
  const Environment relative{At("/home/ada"), "xdg", ""};
  EXPECT_EQ(Locate(Browser::Chromium, Scope::User, Os::Linux, relative, "", {}).manifest,
            path(At("/home/ada/.config/chromium/NativeMessagingHosts/com.sshnativehost.host.json")));
}

TEST(Locate, OverridesAndTheirLimits) {
  const Environment environment{At("/home/ada"), "", At("/appdata")};
  EXPECT_EQ(Locate(Browser::Chromium, Scope::User, Os::Linux, environment, "",
                   {.userDataDir = path(At("/tmp/profile"))})
                .manifest,
            path(At("/tmp/profile/NativeMessagingHosts/com.sshnativehost.host.json")));
  EXPECT_EQ(
      Locate(Browser::Firefox, Scope::User, Os::Linux, environment, "", {.manifestDir = path(At("/srv/m"))})
          .manifest,
      path(At("/srv/m/com.sshnativehost.host.json")));
  // On Windows the registry still has to point at an overridden folder.
  const Location windows = Locate(Browser::Edge, Scope::User, Os::Windows, environment, At("/opt"),
                                  {.manifestDir = path(At("/srv/m"))});
  EXPECT_EQ(windows.manifest, path(At("/srv/m/com.sshnativehost.host.json")));
  EXPECT_TRUE(windows.registryKey.has_value());

  EXPECT_THROW(
      Locate(Browser::Firefox, Scope::User, Os::Linux, environment, "", {.userDataDir = path(At("/tmp/p"))}),
      std::invalid_argument);
  EXPECT_THROW(Locate(Browser::Chrome, Scope::User, Os::Windows, environment, At("/opt"),
                      {.userDataDir = path(At("/tmp/p"))}),
               std::invalid_argument);
  EXPECT_THROW(
      Locate(Browser::Chrome, Scope::User, Os::Linux, environment, "", {.manifestDir = path("relative")}),
      std::invalid_argument);
  EXPECT_THROW(Locate(Browser::Chrome, Scope::User, Os::Linux, Environment{}, "", {}), std::invalid_argument);
  EXPECT_THROW(Locate(Browser::Chrome, Scope::User, Os::Windows, Environment{}, At("/opt"), {}),
               std::invalid_argument);
  // System-wide locations need no home directory.
  EXPECT_NO_THROW(Locate(Browser::Chrome, Scope::System, Os::Linux, Environment{}, "", {}));
}

}  // namespace
}  // namespace snh::reg
