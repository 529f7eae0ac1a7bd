#pragma once

// The pseudo console of a client: a pty, 50 by 30 cells to start with. The client gets the slave as its
// controlling terminal and its standard streams; the session writes input to the master and reads output from
// it.

#include "Pty.h"
#include "codec/Messages.h"

namespace snh {

class PseudoConsole {
 public:
  static constexpr unsigned short kColumns = 50;
  static constexpr unsigned short kRows = 30;

  PseudoConsole() : pty_(OpenPty(kColumns, kRows, "CreatePseudoConsole")) {}
  // Once the client holds the slave, the session's copy goes: reading the master then ends (EIO) when
  // the client and everything it started have let go of the terminal.
  void ReleaseClientSide() { pty_.slave.reset(); }
  // Nothing to close before the reader stops.
  void Close() {}
  // Raises "ResizePseudoConsole failed. ..." on failure.
  void Resize(Coord size) {
    SetPtySize(pty_.master.get(), static_cast<unsigned short>(size.x), static_cast<unsigned short>(size.y),
               "ResizePseudoConsole");
  }

  NativeHandle inputWrite() const { return pty_.master.get(); }
  NativeHandle outputRead() const { return pty_.master.get(); }
  NativeHandle terminal() const { return pty_.slave.get(); }

 private:
  Pty pty_;
};

}  // namespace snh
