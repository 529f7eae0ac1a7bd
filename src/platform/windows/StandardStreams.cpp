#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/PipeIo.h"

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
  failed_ = failed_ || WriteWhole(GetStdHandle(STD_OUTPUT_HANDLE), bytes).outcome != WriteOutcome::kDone;
  return !failed_;
}

}  // namespace snh
