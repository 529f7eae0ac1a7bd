#include "PseudoConsole.h"

#include "OsError.h"
#include "host/SystemError.h"

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

PseudoConsoleAttributeList::PseudoConsoleAttributeList(HPCON console) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(/*lpAttributeList=*/nullptr, /*dwAttributeCount=*/1, /*dwFlags=*/0,
                                    &size);
  list_ = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(HeapAlloc(GetProcessHeap(), /*dwFlags=*/0, size));
  if (list_ == nullptr) throw SystemError("Out of memory");
  if (!InitializeProcThreadAttributeList(list_, /*dwAttributeCount=*/1, /*dwFlags=*/0, &size)) {
    const DWORD error = GetLastError();
    Free();
    RaiseSystemError("InitializeProcThreadAttributeList", error);
  }
  // This attribute takes the handle value itself where the value pointer goes.
  if (!UpdateProcThreadAttribute(list_, /*dwFlags=*/0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console,
                                 sizeof(console), /*lpPreviousValue=*/nullptr, /*lpReturnSize=*/nullptr)) {
    const DWORD error = GetLastError();
    Free();
    RaiseSystemError("UpdateProcThreadAttribute", error);
  }
}

PseudoConsoleAttributeList::~PseudoConsoleAttributeList() { Free(); }

void PseudoConsoleAttributeList::Free() {
  if (list_ != nullptr) HeapFree(GetProcessHeap(), /*dwFlags=*/0, std::exchange(list_, nullptr));
}

}  // namespace snh
