#include "platform/PseudoConsole.h"

#include <windows.h>

#include <utility>

#include "base/SystemError.h"
#include "platform/ConsoleSize.h"
#include "platform/OsError.h"

namespace snh {

namespace {

[[noreturn]] void RaiseHresult(const char* label, HRESULT result) {
  const auto code = static_cast<std::uint32_t>(result);
  throw SystemError(FormatSystemErrorHresult(label, result, GetSystemErrorText(code)));
}

}  // namespace

struct PseudoConsole::State {
  UniqueHandle inputRead, inputWrite;
  UniqueHandle outputRead, outputWrite;
  HPCON console = nullptr;
};

PseudoConsole::PseudoConsole() : state_(std::make_unique<State>()) {
  State& state = *state_;
  if (!CreatePipe(state.inputRead.put(), state.inputWrite.put(), /*lpPipeAttributes=*/nullptr, /*nSize=*/0)) {
    RaiseLastError("CreatePipe pseudo input");
  }
  if (!CreatePipe(state.outputRead.put(), state.outputWrite.put(), /*lpPipeAttributes=*/nullptr,
                  /*nSize=*/0)) {
    RaiseLastError("CreatePipe pseudo output");
  }
  const HRESULT result = CreatePseudoConsole(COORD{kConsoleSize.x, kConsoleSize.y}, state.inputRead.get(),
                                             state.outputWrite.get(), /*dwFlags=*/0, &state.console);
  if (FAILED(result)) {
    state.console = nullptr;
    RaiseHresult("CreatePseudoConsole", result);
  }
}

void PseudoConsole::Resize(Coord size) {
  const HRESULT result = ResizePseudoConsole(state_->console, COORD{size.x, size.y});
  if (FAILED(result)) RaiseHresult("ResizePseudoConsole", result);
}

PseudoConsole::~PseudoConsole() { Close(); }

void PseudoConsole::ReleaseClientSide() {
  state_->inputRead.reset();
  state_->outputWrite.reset();
}

void PseudoConsole::Close() {
  if (state_->console != nullptr) ClosePseudoConsole(std::exchange(state_->console, nullptr));
}

NativeHandle PseudoConsole::inputWrite() const { return state_->inputWrite.get(); }
NativeHandle PseudoConsole::outputRead() const { return state_->outputRead.get(); }
NativeHandle PseudoConsole::clientSide() const { return state_->console; }

}  // namespace snh
