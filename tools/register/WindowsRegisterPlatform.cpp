// Windows: manifests plus the registry values through which browsers find them.

#include <windows.h>

#include <utility>

#include "RegisterPlatform.h"
#include "codec/WideText.h"
#include "platform/OsError.h"

namespace snh::reg {
namespace {

class UniqueHkey {
 public:
  UniqueHkey() = default;
  ~UniqueHkey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  UniqueHkey(const UniqueHkey&) = delete;
  UniqueHkey& operator=(const UniqueHkey&) = delete;
  HKEY get() const { return key_; }
  HKEY* put() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

HKEY Root(const RegistryKey& key) {
  return key.scope == Scope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

class WindowsRegistry final : public Registry {
 public:
  void SetManifestPath(const RegistryKey& key, const std::filesystem::path& manifest) override {
    UniqueHkey opened;
    const std::wstring subkey = ToWide(key.subkey);
    LSTATUS status = RegCreateKeyExW(Root(key), subkey.c_str(), /*Reserved=*/0, /*lpClass=*/nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, /*lpSecurityAttributes=*/nullptr,
                                     opened.put(), /*lpdwDisposition=*/nullptr);
    if (status != ERROR_SUCCESS) RaiseSystemError("RegCreateKeyExW", static_cast<std::uint32_t>(status));
    const std::wstring value = manifest.wstring();
    status = RegSetValueExW(opened.get(), /*lpValueName=*/nullptr, /*Reserved=*/0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) RaiseSystemError("RegSetValueExW", static_cast<std::uint32_t>(status));
  }

  std::optional<std::filesystem::path> ManifestPath(const RegistryKey& key) override {
    const std::wstring subkey = ToWide(key.subkey);
    DWORD bytes = 0;
    LSTATUS status =
        RegGetValueW(Root(key), subkey.c_str(), /*lpValue=*/nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (status != ERROR_SUCCESS) RaiseSystemError("RegGetValueW", static_cast<std::uint32_t>(status));
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    status = RegGetValueW(Root(key), subkey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &bytes);
    if (status != ERROR_SUCCESS) RaiseSystemError("RegGetValueW", static_cast<std::uint32_t>(status));
    value.resize(wcsnlen(value.c_str(), value.size()));
    return std::filesystem::path(value);
  }

  bool DeleteKey(const RegistryKey& key) override {
    const LSTATUS status = RegDeleteKeyW(Root(key), ToWide(key.subkey).c_str());
    if (status == ERROR_FILE_NOT_FOUND) return false;
    if (status != ERROR_SUCCESS) RaiseSystemError("RegDeleteKeyW", static_cast<std::uint32_t>(status));
    return true;
  }
};

std::filesystem::path OwnExecutable() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

System CurrentSystem() {
  System system{};
  system.os = Os::Windows;
  if (const wchar_t* appData = _wgetenv(L"LOCALAPPDATA"); appData != nullptr) {
    system.environment.localAppData = appData;
  }
  if (const std::filesystem::path self = OwnExecutable(); !self.empty()) {
    system.defaultHost = self.parent_path() / L"ssh-native-host.exe";
  }
  return system;
}

}  // namespace snh::reg

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(snh::ToUtf8(std::wstring_view(argv[i])));
  }
  snh::reg::WindowsRegistry registry;
  return snh::reg::RunRegisterTool(args, &registry);
}
