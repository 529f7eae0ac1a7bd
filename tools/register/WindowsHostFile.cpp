// The host's file on Windows: who may change it is read from the security descriptors of the file and
// of each folder above it.

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>

#include "HostFile.h"
#include "Registration.h"
#include "codec/WideText.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

struct LocalFreeDeleter {
  void operator()(void* memory) const { LocalFree(memory); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

std::string SidText(PSID sid) {
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameSize = 256;
  DWORD domainSize = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(/*lpSystemName=*/nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    return ToUtf8(domainSize > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name));
  }
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "an unknown account";
  const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(text);
  return ToUtf8(text);
}

bool IsAdministration(PSID sid) {
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) return true;
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return false;
  const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(text);
  return std::wstring_view(text) == L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
}

// Rights that let a holder replace what the host runs. Anywhere on the path: delete or rename an
// entry, or change who may. On the host and its own folder also: write the file, add a file (a DLL
// the host would load) or a folder (where the manifests go). Adding entries to folders further up
// replaces nothing: C:\ lets every user make folders.
constexpr ACCESS_MASK kReplaceRights = DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER;
constexpr ACCESS_MASK kWriteRights = kReplaceRights | FILE_WRITE_DATA | FILE_APPEND_DATA;

// Deny entries are ignored, which can only refuse more.
std::optional<std::string> OthersMayChange(const fs::path& file, ACCESS_MASK rights) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT,
                                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                             /*ppsidGroup=*/nullptr, &dacl, /*ppSacl=*/nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    return "cannot read who may change " + PathText(file) + ": " +
           std::system_category().message(static_cast<int>(status));
  }
  const SecurityDescriptor owned(descriptor);
  // An owner may always rewrite the access rules.
  if (!IsAdministration(owner))
    return PathText(file) + " is owned by " + SidText(owner) + ", not an administrator";
  if (dacl == nullptr) return PathText(file) + " has no access rules, so everyone may change it";
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
      continue;
    // Both types start with the header, the mask and the SID.
    const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    ACCESS_MASK mask = ace->Mask;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    if ((mask & rights) != 0 && !IsAdministration(sid))
      return PathText(file) + " can be changed by " + SidText(sid);
  }
  return std::nullopt;
}

}  // namespace

bool IsRunnableFile(const fs::path& host) {
  std::wstring extension = host.extension().wstring();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return extension == L".exe" || extension == L".com" || extension == L".bat" || extension == L".cmd";
}

std::optional<std::string> ChangeableByOthers(const fs::path& host) {
  ACCESS_MASK rights = kWriteRights;
  for (fs::path item = host;; item = item.parent_path()) {
    if (std::optional<std::string> writer = OthersMayChange(item, rights)) return writer;
    if (item != host) rights = kReplaceRights;
    if (item == item.parent_path()) return std::nullopt;
  }
}

}  // namespace snh::reg
