#include "PseudoConsole.h"

#include "OsError.h"
#include "codec/SystemError.h"

namespace snh {

namespace {

[[noreturn]] void RaiseHresult(const char* label, HRESULT result) {
  const auto code = static_cast<std::uint32_t>(result);
  throw SystemError(FormatSystemErrorHresult(label, result, GetSystemErrorText(code)));
}

}  // namespace

PseudoConsole::PseudoConsole() {
  if (!CreatePipe(inputRead_.put(), inputWrite_.put(), /*lpPipeAttributes=*/nullptr, /*nSize=*/0)) {
    RaiseLastError("CreatePipe pseudo input");
  }
  if (!CreatePipe(outputRead_.put(), outputWrite_.put(), /*lpPipeAttributes=*/nullptr, /*nSize=*/0)) {
    RaiseLastError("CreatePipe pseudo output");
  }
  const HRESULT result = CreatePseudoConsole(COORD{kColumns, kRows}, inputRead_.get(), outputWrite_.get(),
                                             /*dwFlags=*/0, &console_);
  if (FAILED(result)) {
    console_ = nullptr;
    RaiseHresult("CreatePseudoConsole", result);
  }
}

void PseudoConsole::Resize(Coord size) {
  const HRESULT result = ResizePseudoConsole(console_, COORD{size.x, size.y});
  if (FAILED(result)) RaiseHresult("ResizePseudoConsole", result);
}

void PseudoConsole::ReleaseClientSide() {
  inputRead_.reset();
  outputWrite_.reset();
}

void PseudoConsole::Close() {
  if (console_ != nullptr) ClosePseudoConsole(std::exchange(console_, nullptr));
}

}  // namespace snh
