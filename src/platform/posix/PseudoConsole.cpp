#include "platform/PseudoConsole.h"

#include <utility>

#include "platform/ConsoleSize.h"
#include "platform/posix/Pty.h"

namespace snh {

struct PseudoConsole::State {
  explicit State(Pty opened) : pty(std::move(opened)) {}

  Pty pty;
};

PseudoConsole::PseudoConsole()
    : state_(std::make_unique<State>(OpenPty(kConsoleSize, "CreatePseudoConsole"))) {}

PseudoConsole::~PseudoConsole() = default;

void PseudoConsole::ReleaseClientSide() { state_->pty.slave.reset(); }

void PseudoConsole::Close() {}

void PseudoConsole::Resize(Coord size) { SetPtySize(state_->pty.master.get(), size, "ResizePseudoConsole"); }

// The session writes input to the master and reads output from it.
NativeHandle PseudoConsole::inputWrite() const { return state_->pty.master.get(); }
NativeHandle PseudoConsole::outputRead() const { return state_->pty.master.get(); }
NativeHandle PseudoConsole::clientSide() const { return state_->pty.slave.get(); }

}  // namespace snh
