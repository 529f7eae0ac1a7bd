#include "StandardStreams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace snh {

void PrepareStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  for (DWORD id : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE handle = GetStdHandle(id);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
  }
}

std::size_t StandardInput::Read(char* buffer, std::size_t capacity) {
  DWORD count = 0;
  const DWORD request = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, request, &count, /*lpOverlapped=*/nullptr)) return 0;
  return count;
}

bool StandardOutput::Write(std::string_view bytes) {
  if (failed_) return false;
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD request = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(output, bytes.data(), request, &written, /*lpOverlapped=*/nullptr) || written == 0) {
      failed_ = true;
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace snh
