#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegisterOptions.h"

namespace snh::reg {
namespace {

const std::string kChromeId = "dimnjlmdmbeogedbmnlfcndbbfpbkgei";

TEST(ParseOptions, ReadsEveryOption) {
  const Options options =
      ParseOptions({"install", "--extension-id", kChromeId, "--extension-id=snh@example.org", "--browser",
                    "firefox", "--browser=chrome", "--browser", "firefox", "--scope", "system", "--host",
                    "/opt/snh/ssh-native-host", "--dry-run"});
  EXPECT_EQ(options.command, Command::Install);
  EXPECT_EQ(options.extensionIds, (std::vector<std::string>{kChromeId, "snh@example.org"}));
  EXPECT_FALSE(options.allBrowsers);
  EXPECT_EQ(options.browsers, (std::vector<Browser>{Browser::Firefox, Browser::Chrome}));
  EXPECT_EQ(options.scope, Scope::System);
  EXPECT_EQ(options.host, std::filesystem::path("/opt/snh/ssh-native-host"));
  EXPECT_TRUE(options.dryRun);
}

TEST(ParseOptions, DefaultsToEveryBrowserPerUser) {
  const Options options = ParseOptions({"remove"});
  EXPECT_EQ(options.command, Command::Remove);
  EXPECT_TRUE(options.allBrowsers);
  EXPECT_TRUE(options.browsers.empty());
  EXPECT_EQ(options.scope, Scope::User);
  EXPECT_FALSE(options.dryRun);
  // "all" wins over named browsers, whatever the order.
  EXPECT_TRUE(ParseOptions({"remove", "--browser", "edge", "--browser", "all"}).allBrowsers);
}

TEST(ParseOptions, OneBrowserOverrides) {
  const Options options = ParseOptions(
      {"install", "--extension-id", kChromeId, "--browser", "chromium", "--user-data-dir", "/tmp/p"});
  EXPECT_EQ(options.overrides.userDataDir, std::filesystem::path("/tmp/p"));
  EXPECT_EQ(ParseOptions({"remove", "--browser", "edge", "--manifest-dir", "/m"}).overrides.manifestDir,
            std::filesystem::path("/m"));
}

TEST(ParseOptions, HelpAnywhere) {
  EXPECT_EQ(ParseOptions({"--help"}).command, Command::Help);
  EXPECT_EQ(ParseOptions({"-h"}).command, Command::Help);
  EXPECT_EQ(ParseOptions({"install", "--help"}).command, Command::Help);
  EXPECT_NE(UsageText().find("--extension-id"), std::string::npos);
}

TEST(ParseOptions, RefusesBadCommandLines) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "no command given (install, remove or --help)"},
      {{"add"}, "unknown command \"add\" (install, remove or --help)"},
      {{"install"}, "install needs --extension-id"},
      {{"install", "--extension-id"}, "--extension-id needs a value"},
      {{"install", "--extension-id", "ABC"},
       "\"ABC\" is not a valid extension id: Chromium-family ids are 32 letters a-p, Firefox ids look like "
       "name@example.org or {01234567-89ab-cdef-0123-456789abcdef}"},
      {{"install", "--extension-id", kChromeId, "--browser", "safari"},
       "unknown browser \"safari\" (chrome, chromium, edge, firefox or all)"},
      {{"install", "--extension-id", kChromeId, "--scope", "machine"},
       "unknown scope \"machine\" (user or system)"},
      {{"install", "--extension-id", kChromeId, "--host", ""}, "--host needs a non-empty path"},
      {{"install", "--extension-id", kChromeId, "--verbose"}, "unknown option \"--verbose\""},
      {{"install", "--extension-id", kChromeId, "--dry-run=yes"}, "unknown option \"--dry-run=yes\""},
      {{"install", "--extension-id", kChromeId, "--manifest-dir", "/m"},
       "--manifest-dir needs exactly one --browser"},
      {{"install", "--extension-id", kChromeId, "--browser", "chrome", "--browser", "edge", "--user-data-dir",
        "/p"},
       "--user-data-dir needs exactly one --browser"},
      {{"install", "--extension-id", kChromeId, "--browser", "chrome", "--user-data-dir", "/p",
        "--manifest-dir", "/m"},
       "--manifest-dir and --user-data-dir cannot be used together"},
      {{"write-manifests", "--chromium-ids", kChromeId + ",snh@example.org"},
       "\"snh@example.org\" is a Firefox id, given with --chromium-ids"},
      {{"write-manifests", "--firefox-ids", "a@b ABC"},
       "\"ABC\" is not a valid extension id: Chromium-family ids are 32 letters a-p, Firefox ids look like "
       "name@example.org or {01234567-89ab-cdef-0123-456789abcdef}"},
      {{"write-manifests", "--firefox-ids"}, "--firefox-ids needs a value"},
      {{"write-manifests", "--browser", "chrome"}, "unknown option \"--browser\""},
  };
  for (const Case& c : cases) {
    try {
      ParseOptions(c.args);
      ADD_FAILURE() << "accepted: " << testing::PrintToString(c.args);
    } catch (const UsageError& e) {
      EXPECT_EQ(e.what(), c.message) << testing::PrintToString(c.args);
    }
  }
}

}  // namespace
}  // namespace snh::reg
