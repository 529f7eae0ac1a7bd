// The Windows installer's first step, a custom action in the .msi (not installed): checks the extension
// id properties with the registration tool's own parser before anything changes, and says in the
// installer's log why an install fails or that it registers nothing.

#include <windows.h>
// After windows.h, which they need.
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "RegisterOptions.h"
#include "codec/WideText.h"

namespace snh::reg {
namespace {

std::string Property(MSIHANDLE install, const wchar_t* name) {
  std::wstring value(256, L'\0');
  DWORD size = static_cast<DWORD>(value.size());
  UINT status = MsiGetPropertyW(install, name, value.data(), &size);
  if (status == ERROR_MORE_DATA) {
    value.resize(++size);
    status = MsiGetPropertyW(install, name, value.data(), &size);
  }
  if (status != ERROR_SUCCESS) return {};
  value.resize(size);
  return ToUtf8(value);
}

// The text goes in a field, not the template, where brackets and braces (a {GUID} id) have meaning.
void Report(MSIHANDLE install, INSTALLMESSAGE kind, const std::string& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, L"[1]");
  MsiRecordSetStringW(record, 1, ToWide("ssh-native-host: " + text).c_str());
  MsiProcessMessage(install, kind, record);
}

}  // namespace
}  // namespace snh::reg

extern "C" __declspec(dllexport) UINT __stdcall CheckExtensionIds(MSIHANDLE install) {
  using namespace snh::reg;
  try {
    const Options options =
        ParseOptions({"write-manifests", "--chromium-ids", Property(install, L"CHROMIUM_EXTENSION_IDS"),
                      "--firefox-ids", Property(install, L"FIREFOX_EXTENSION_IDS")});
    if (options.extensionIds.empty()) {
      Report(
          install, INSTALLMESSAGE_INFO,
          "no extension id given (CHROMIUM_EXTENSION_IDS, FIREFOX_EXTENSION_IDS): the host is installed and "
          "registered for no browser");
    }
    return ERROR_SUCCESS;
  } catch (const snh::UsageError& e) {
    Report(install, INSTALLMESSAGE_ERROR, std::string(e.what()) + "; nothing was installed");
    return ERROR_INSTALL_FAILURE;
  }
}
