#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "Installer.h"
#include "ManifestFile.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

const std::string kChromeId = "dimnjlmdmbeogedbmnlfcndbbfpbkgei";
const std::string kFirefoxId = "snh@example.org";

class FakeRegistry final : public Registry {
 public:
  void SetManifestPath(const RegistryKey& key, const fs::path& manifest) override {
    values[Text(key)] = manifest;
  }
  std::optional<fs::path> ManifestPath(const RegistryKey& key) override {
    const auto found = values.find(Text(key));
    return found == values.end() ? std::nullopt : std::optional(found->second);
  }
  bool DeleteKey(const RegistryKey& key) override { return values.erase(Text(key)) == 1; }

  std::map<std::string, fs::path> values;

 private:
  static std::string Text(const RegistryKey& key) { return RegistryKeyText(key); }
};

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<fs::path> FilesUnder(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir));
  }
  std::sort(files.begin(), files.end());
  return files;
}

class InstallerTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("snh-register-test-" + std::to_string(std::random_device{}()));
    fs::create_directories(root_ / "home");
    fs::create_directories(root_ / "bin");
    host_ = root_ / "bin" / "ssh-native-host.exe";
    WriteFile(host_, "host");
    fs::permissions(host_, fs::perms::owner_exec, fs::perm_options::add);
    system_ = System{Os::Linux, Environment{root_ / "home", "", root_ / "appdata"}, host_, nullptr};
  }
  void TearDown() override { fs::remove_all(root_); }

  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return RunRegistration(ParseOptions(args), system_, out_, err_);
  }
  // Native separators throughout, so that paths compare equal as text with what the tool prints.
  fs::path Home(const std::string& relative) const { return (root_ / "home" / relative).make_preferred(); }

  fs::path root_;
  fs::path host_;
  System system_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(InstallerTest, InstallWritesOneManifestPerBrowserAndRemoveTakesThemBack) {
  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--extension-id", kFirefoxId}), 0) << err_.str();
  const fs::path chrome = Home(".config/google-chrome/NativeMessagingHosts/com.sshnativehost.host.json");
  const fs::path firefox = Home(".mozilla/native-messaging-hosts/com.sshnativehost.host.json");
  EXPECT_EQ(FilesUnder(root_ / "home"),
            (std::vector<fs::path>{".config/chromium/NativeMessagingHosts/com.sshnativehost.host.json",
                                   ".config/google-chrome/NativeMessagingHosts/com.sshnativehost.host.json",
                                   ".config/microsoft-edge/NativeMessagingHosts/com.sshnativehost.host.json",
                                   ".mozilla/native-messaging-hosts/com.sshnativehost.host.json"}));
  EXPECT_NE(out_.str().find("wrote " + chrome.string() + "\n"), std::string::npos) << out_.str();

  const auto chromeManifest = nlohmann::json::parse(ReadFile(chrome));
  EXPECT_EQ(chromeManifest["path"], host_.string());
  EXPECT_EQ(chromeManifest["allowed_origins"],
            nlohmann::json::array({"chrome-extension://" + kChromeId + "/"}));
  const auto firefoxManifest = nlohmann::json::parse(ReadFile(firefox));
  EXPECT_EQ(firefoxManifest["allowed_extensions"], nlohmann::json::array({kFirefoxId}));
  EXPECT_EQ(fs::status(chrome).permissions() & fs::perms::others_read, fs::perms::others_read);

  ASSERT_EQ(Run({"remove"}), 0) << err_.str();
  EXPECT_TRUE(FilesUnder(root_ / "home").empty());
  EXPECT_NE(out_.str().find("removed " + firefox.string() + "\n"), std::string::npos) << out_.str();
  // Removing again is not an error.
  EXPECT_EQ(Run({"remove"}), 0);
  EXPECT_NE(out_.str().find("nothing at " + firefox.string() + "\n"), std::string::npos) << out_.str();
}

TEST_F(InstallerTest, AllBrowsersSkipsAFamilyWithoutAnIdButANamedBrowserNeedsOne) {
  ASSERT_EQ(Run({"install", "--extension-id", kFirefoxId}), 0) << err_.str();
  EXPECT_EQ(FilesUnder(root_ / "home"),
            (std::vector<fs::path>{".mozilla/native-messaging-hosts/com.sshnativehost.host.json"}));
  EXPECT_NE(out_.str().find("skipped chrome: no Chromium-family extension id given\n"), std::string::npos);

  EXPECT_EQ(Run({"install", "--extension-id", kFirefoxId, "--browser", "firefox", "--browser", "edge"}), 2);
  EXPECT_EQ(err_.str(), "ssh-native-host-register: no Chromium-family extension id given for edge\n");
}

TEST_F(InstallerTest, BadInputWritesNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::string missingHost = (root_ / "bin" / "missing").string();
  const fs::path notes = root_ / "bin" / "notes.txt";
  WriteFile(notes, "not a program");
  const Case cases[] = {
      {{"install", "--extension-id", kChromeId, "--host", missingHost},
       "the host " + missingHost + " is not an existing file (give its path with --host)"},
      {{"install", "--extension-id", kChromeId, "--host", (root_ / "bin").string()},
       "the host " + (root_ / "bin").string() + " is not an existing file (give its path with --host)"},
      {{"install", "--extension-id", kChromeId, "--host", notes.string()},
       "the host " + notes.string() +
           " is not an executable program (give the path of ssh-native-host with --host)"},
      {{"install", "--extension-id", kFirefoxId, "--browser", "chrome"},
       "the extension id \"snh@example.org\" is a Firefox id, and no such browser was chosen"},
      {{"install", "--extension-id", kChromeId, "--browser", "firefox", "--user-data-dir", "/tmp/p"},
       "the extension id \"" + kChromeId + "\" is a Chromium-family id, and no such browser was chosen"},
      {{"install", "--extension-id", kFirefoxId, "--browser", "firefox", "--user-data-dir", "/tmp/p"},
       "--user-data-dir applies to Chromium-family browsers, not firefox"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), 2) << testing::PrintToString(c.args);
    EXPECT_EQ(err_.str(), "ssh-native-host-register: " + c.error + "\n");
    EXPECT_TRUE(FilesUnder(root_ / "home").empty());
  }
}

TEST_F(InstallerTest, DryRunShowsTheManifestAndChangesNothing) {
  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--browser", "chromium", "--dry-run"}), 0);
  EXPECT_NE(out_.str().find("would write "), std::string::npos);
  EXPECT_NE(out_.str().find("\"chrome-extension://" + kChromeId + "/\""), std::string::npos) << out_.str();
  EXPECT_TRUE(FilesUnder(root_ / "home").empty());

  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--browser", "chromium"}), 0);
  ASSERT_EQ(Run({"remove", "--browser", "chromium", "--dry-run"}), 0);
  EXPECT_EQ(FilesUnder(root_ / "home").size(), 1u);
  EXPECT_NE(out_.str().find("would remove "), std::string::npos);
}

TEST_F(InstallerTest, ReinstallReplacesTheManifestWhole) {
  const std::string other = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--browser", "chrome"}), 0);
  ASSERT_EQ(Run({"install", "--extension-id", other, "--browser", "chrome"}), 0);
  const fs::path chrome = Home(".config/google-chrome/NativeMessagingHosts/com.sshnativehost.host.json");
  EXPECT_EQ(nlohmann::json::parse(ReadFile(chrome))["allowed_origins"],
            nlohmann::json::array({"chrome-extension://" + other + "/"}));
  // No temporary file is left beside it.
  EXPECT_EQ(FilesUnder(root_ / "home").size(), 1u);
}

TEST_F(InstallerTest, InstallAndRemoveLeaveWhatIsNotOurs) {
  const fs::path foreign = Home(".config/chromium/NativeMessagingHosts/com.sshnativehost.host.json");
  for (const std::string& text :
       {std::string(R"({"name":"org.other.host"})"), std::string("not json"), std::string(100 * 1024, '{')}) {
    WriteFile(foreign, text);
    EXPECT_EQ(Run({"install", "--extension-id", kChromeId}), 1);
    EXPECT_EQ(err_.str(),
              "ssh-native-host-register: " + foreign.string() +
                  " is not a manifest of com.sshnativehost.host; remove it yourself if you want to "
                  "replace it\n");
    EXPECT_EQ(FilesUnder(root_ / "home").size(), 1u);  // nothing written for the other browsers either
    EXPECT_EQ(Run({"remove", "--browser", "chromium"}), 1);
    EXPECT_EQ(err_.str(), "left " + foreign.string() + ": it is not a manifest of com.sshnativehost.host\n");
    EXPECT_EQ(ReadFile(foreign), text);
  }
}

TEST_F(InstallerTest, ManifestDirAndUserDataDir) {
  const fs::path profile = root_ / "profile";
  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--browser", "chromium", "--user-data-dir",
                 profile.string()}),
            0)
      << err_.str();
  EXPECT_TRUE(fs::is_regular_file(profile / "NativeMessagingHosts/com.sshnativehost.host.json"));
  ASSERT_EQ(Run({"install", "--extension-id", kFirefoxId, "--browser", "firefox", "--manifest-dir",
                 (root_ / "m").string()}),
            0);
  EXPECT_TRUE(fs::is_regular_file(root_ / "m/com.sshnativehost.host.json"));
  EXPECT_TRUE(FilesUnder(root_ / "home").empty());
}

TEST_F(InstallerTest, WindowsPointsTheRegistryAtEachManifest) {
  FakeRegistry registry;
  system_.os = Os::Windows;
  system_.registry = &registry;
  // Trust the test's host for every user (no file passes the real check under Wine).
  system_.changeableByOthers = [](const fs::path&) -> std::optional<std::string> { return std::nullopt; };
  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--extension-id", kFirefoxId}), 0) << err_.str();
  const fs::path edge =
      root_ / "appdata/ssh-native-host/NativeMessagingHosts/edge/com.sshnativehost.host.json";
  EXPECT_EQ(registry.values.size(), 4u);
  EXPECT_EQ(
      registry.values
          ["HKEY_CURRENT_USER\\Software\\Microsoft\\Edge\\NativeMessagingHosts\\com.sshnativehost.host"],
      edge);
  EXPECT_TRUE(fs::is_regular_file(edge));
  EXPECT_NE(out_.str().find(
                "set HKEY_CURRENT_USER\\Software\\Mozilla\\NativeMessagingHosts\\com.sshnativehost.host to "),
            std::string::npos);

  // Remove follows the registry to a manifest written elsewhere.
  ASSERT_EQ(Run({"install", "--extension-id", kChromeId, "--browser", "chrome", "--scope", "system",
                 "--manifest-dir", (root_ / "m").string()}),
            0);
  EXPECT_EQ(
      registry.values
          ["HKEY_LOCAL_MACHINE\\Software\\Google\\Chrome\\NativeMessagingHosts\\com.sshnativehost.host"],
      root_ / "m/com.sshnativehost.host.json");
  ASSERT_EQ(Run({"remove", "--browser", "chrome", "--scope", "system"}), 0) << err_.str();
  EXPECT_FALSE(fs::exists(root_ / "m/com.sshnativehost.host.json"));
  EXPECT_EQ(registry.values.size(), 4u);

  ASSERT_EQ(Run({"remove"}), 0) << err_.str();
  EXPECT_TRUE(registry.values.empty());
  EXPECT_FALSE(fs::exists(edge));
  EXPECT_EQ(Run({"remove"}), 0);
  EXPECT_NE(out_.str().find("no key HKEY_CURRENT_USER\\Software\\Chromium\\NativeMessagingHosts\\"),
            std::string::npos);
}

TEST_F(InstallerTest, WriteFailureIsReportedWithThePath) {
  // A file where a folder must go.
  WriteFile(Home(".mozilla"), "in the way");
  EXPECT_EQ(Run({"install", "--extension-id", kFirefoxId, "--browser", "firefox"}), 1);
  EXPECT_NE(err_.str().find("cannot create the folder " + Home(".mozilla/native-messaging-hosts").string()),
            std::string::npos)
      << err_.str();
}

TEST_F(InstallerTest, SystemScopeRefusesAHostOthersCanChange) {
  const std::vector<std::string> args = {"install",        "--scope",        "system",
                                         "--extension-id", kChromeId,        "--browser",
                                         "chrome",         "--manifest-dir", (root_ / "m").string()};
  EXPECT_EQ(Run(args), 2);
  // The test's folder is under the temporary folder, which others may write to (or, under Wine, is
  // owned by a user): the reason names the host or a folder on its path.
  const std::string prefix =
      "ssh-native-host-register: refusing to register " + host_.string() + " for every user: ";
  ASSERT_TRUE(err_.str().starts_with(prefix)) << err_.str();
  const std::string named =
      err_.str().substr(prefix.size(), err_.str().find(" is ", prefix.size()) - prefix.size());
  EXPECT_TRUE(host_.string().starts_with(named)) << err_.str();
  EXPECT_FALSE(fs::exists(root_ / "m"));
#ifndef _WIN32
  // Root's all the way, through the links /bin -> usr/bin and sh -> dash.
  std::vector<std::string> safe = args;
  safe.insert(safe.end(), {"--host", "/bin/sh"});
  EXPECT_EQ(Run(safe), 0) << err_.str();
#endif
}

}  // namespace
}  // namespace snh::reg
