#include "RegisterOptions.h"

#include <algorithm>

namespace snh::reg {
namespace {

std::string InvalidIdText(const std::string& id) {
  return "\"" + id +
         "\" is not a valid extension id: Chromium-family ids are 32 letters a-p, Firefox ids look like "
         "name@example.org or {01234567-89ab-cdef-0123-456789abcdef}";
}

// "a,b c": ids separated by commas or white space, as an installer property holds them.
void AddIdList(std::vector<std::string>& ids, const std::string& list, Family family,
               const std::string& option) {
  size_t start = 0;
  while ((start = list.find_first_not_of(", \t", start)) != std::string::npos) {
    const size_t end = std::min(list.find_first_of(", \t", start), list.size());
    const std::string id = list.substr(start, end - start);
    start = end;
    const std::optional<Family> idFamily = ExtensionIdFamily(id);
    if (!idFamily) throw UsageError(InvalidIdText(id));
    if (*idFamily != family) {
      throw UsageError("\"" + id + "\" is a " + std::string(FamilyName(*idFamily)) + " id, given with " +
                       option);
    }
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
}

// write-manifests: the installer's step, so only what the installer passes.
Options ParseWriteManifests(const std::vector<std::string>& args) {
  Options options;
  options.command = Command::WriteManifests;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--dry-run") {
      options.dryRun = true;
      continue;
    }
    if (name != "--chromium-ids" && name != "--firefox-ids")
      throw UsageError("unknown option \"" + name + "\"");
    if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
    AddIdList(options.extensionIds, args[++i], name == "--firefox-ids" ? Family::Firefox : Family::Chromium,
              name);
  }
  return options;
}

void AddBrowser(std::vector<Browser>& browsers, const std::string& name) {
  const std::optional<Browser> browser = ParseBrowser(name);
  if (!browser) throw UsageError("unknown browser \"" + name + "\" (chrome, chromium, edge, firefox or all)");
  if (std::find(browsers.begin(), browsers.end(), *browser) == browsers.end()) browsers.push_back(*browser);
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  if (args.empty()) throw UsageError("no command given (install, remove or --help)");
  const std::string& command = args[0];
  if (command == "install") {
    options.command = Command::Install;
  } else if (command == "remove") {
    options.command = Command::Remove;
  } else if (command == "write-manifests") {
    return ParseWriteManifests(args);
  } else if (command == "help" || command == "--help" || command == "-h") {
    options.command = Command::Help;
    return options;
  } else if (command == "--version" || command == "-V") {
    options.command = Command::Version;
    return options;
  } else {
    throw UsageError("unknown command \"" + command + "\" (install, remove or --help)");
  }

  bool allGiven = false;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (const size_t eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      return args[++i];
    };
    auto nonEmptyPath = [&]() -> std::filesystem::path {
      const std::string text = value();
      if (text.empty()) throw UsageError(name + " needs a non-empty path");
      return std::filesystem::path(std::u8string(text.begin(), text.end()));
    };

    if (name == "--help" || name == "-h") {
      options.command = Command::Help;
      return options;
    } else if (name == "--extension-id") {
      const std::string id = value();
      if (!ExtensionIdFamily(id)) throw UsageError(InvalidIdText(id));
      if (std::find(options.extensionIds.begin(), options.extensionIds.end(), id) ==
          options.extensionIds.end()) {
        options.extensionIds.push_back(id);
      }
    } else if (name == "--browser") {
      const std::string browser = value();
      if (browser == "all") {
        allGiven = true;
      } else {
        AddBrowser(options.browsers, browser);
      }
    } else if (name == "--scope") {
      const std::string scope = value();
      if (scope == "user") {
        options.scope = Scope::User;
      } else if (scope == "system") {
        options.scope = Scope::System;
      } else {
        throw UsageError("unknown scope \"" + scope + "\" (user or system)");
      }
    } else if (name == "--host") {
      options.host = nonEmptyPath();
    } else if (name == "--manifest-dir") {
      options.overrides.manifestDir = nonEmptyPath();
    } else if (name == "--user-data-dir") {
      options.overrides.userDataDir = nonEmptyPath();
    } else if (name == "--dry-run" && !inlineValue) {
      options.dryRun = true;
    } else {
      throw UsageError("unknown option \"" + args[i] + "\"");
    }
  }
  options.allBrowsers = allGiven || options.browsers.empty();
  if (options.allBrowsers) options.browsers.clear();

  if (options.command == Command::Install && options.extensionIds.empty()) {
    throw UsageError("install needs --extension-id");
  }
  if (options.overrides.manifestDir && options.overrides.userDataDir) {
    throw UsageError("--manifest-dir and --user-data-dir cannot be used together");
  }
  // A manifest folder or a profile belongs to one browser.
  const bool oneBrowser = !options.allBrowsers && options.browsers.size() == 1;
  if (options.overrides.manifestDir && !oneBrowser)
    throw UsageError("--manifest-dir needs exactly one --browser");
  if (options.overrides.userDataDir && !oneBrowser)
    throw UsageError("--user-data-dir needs exactly one --browser");
  return options;
}

std::string UsageText() {
  return R"(Usage: ssh-native-host-register install --extension-id ID [options]
  or:  ssh-native-host-register remove [options]

Registers ssh-native-host (host name "com.sshnativehost.host") with browsers so that the given
extensions may start it, or removes that registration.

Options:
  --extension-id ID    an extension allowed to start the host; repeat for several. Chromium-family ids
                       are 32 letters a-p; Firefox ids are name@domain or {GUID}. Each browser gets the
                       ids of its family.
  --browser NAME       chrome, chromium, edge, firefox or all (the default); repeat for several. With
                       all, browsers of a family without an id are skipped.
  --scope SCOPE        user (the default) or system (every user; needs administrator rights).
  --host PATH          the host executable (default: ssh-native-host beside this program).
  --manifest-dir DIR   write the manifest into DIR instead (one browser only).
  --user-data-dir DIR  register for a Chromium-family profile started with --user-data-dir=DIR
                       (Linux and macOS; one browser only).
  --dry-run            print what would be written or removed, change nothing.
  --help               this text.
  --version            the version (as the only argument).

The Windows installer's step, for the machine or the user it installs for:
  ssh-native-host-register write-manifests [--chromium-ids LIST] [--firefox-ids LIST]
writes each browser's manifest into NativeMessagingHosts\<browser>\ beside the host and nothing else
(the installer sets the registry values). LIST: ids of the option's family, separated by commas or
spaces.

Exit status: 0 done, 1 a file or registry change failed or something not ours was left in place,
2 a bad command line.
)";
}

}  // namespace snh::reg
