// Writing a manifest on Windows. New folders and files take the access rules of the folder they are
// made in (the host's folder for every user, checked before anything is written).

#include <windows.h>

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "ManifestFile.h"
#include "Registration.h"
#include "platform/UniqueHandle.h"

namespace snh::reg {
namespace {

namespace fs = std::filesystem;

constexpr int kTemporaryNameAttempts = 10;

std::runtime_error LastFailure(std::string_view what, const fs::path& file) {
  return FileFailure(what, file, std::error_code(static_cast<int>(GetLastError()), std::system_category()));
}

// Deletes the temporary file unless the rename took it.
class TemporaryName {
 public:
  explicit TemporaryName(fs::path file) : file_(std::move(file)) {}
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;
  ~TemporaryName() {
    if (!file_.empty()) DeleteFileW(file_.c_str());
  }
  void Release() { file_.clear(); }

 private:
  fs::path file_;
};

void WriteAll(HANDLE out, std::string_view contents, const fs::path& file) {
  while (!contents.empty()) {
    DWORD written = 0;
    if (!WriteFile(out, contents.data(), static_cast<DWORD>(contents.size()), &written,
                   /*lpOverlapped=*/nullptr))
      throw LastFailure("write", file);
    contents.remove_prefix(written);
  }
  if (!FlushFileBuffers(out)) throw LastFailure("write", file);
}

}  // namespace

void WriteFileAtomically(const fs::path& file, std::string_view contents) {
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  if (error) throw FileFailure("create the folder", file.parent_path(), error);

  std::random_device entropy;
  fs::path temporary;
  UniqueHandle out;
  for (int attempt = 1; !out; ++attempt) {
    temporary =
        file.parent_path() / (file.filename().wstring() + L"." + std::to_wstring(entropy()) + L".tmp");
    // CREATE_NEW on the name itself, not on what a planted link points to.
    HANDLE created =
        CreateFileW(temporary.c_str(), GENERIC_WRITE, /*dwShareMode=*/0,
                    /*lpSecurityAttributes=*/nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, /*hTemplateFile=*/nullptr);
    if (created == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_FILE_EXISTS || attempt == kTemporaryNameAttempts)
        throw LastFailure("create", temporary);
      continue;
    }
    out.reset(created);
  }
  TemporaryName guard(temporary);
  WriteAll(out.get(), contents, file);
  out.reset();
  if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw LastFailure("replace", file);
  guard.Release();
}

}  // namespace snh::reg
