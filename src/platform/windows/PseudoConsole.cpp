#include "PseudoConsole.h"

#include "OsError.h"
#include "codec/SystemError.h"

namespace snh {

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
    const auto code = static_cast<std::uint32_t>(result);
    throw SystemError(FormatSystemErrorHresult("CreatePseudoConsole", result, GetSystemErrorText(code)));
  }
}

void PseudoConsole::ReleaseClientSide() {
  inputRead_.reset();
  outputWrite_.reset();
}

void PseudoConsole::Close() {
  if (console_ != nullptr) ClosePseudoConsole(std::exchange(console_, nullptr));
}

}  // namespace snh
