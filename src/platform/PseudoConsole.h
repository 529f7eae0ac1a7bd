#pragma once

// The pseudo console of a client: a pty of 50 by 30 cells. The client gets the slave as its controlling
// terminal and its standard streams; the session writes input to the master and reads output from it.

#include "Pty.h"

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

  NativeHandle inputWrite() const { return pty_.master.get(); }
  NativeHandle outputRead() const { return pty_.master.get(); }
  NativeHandle terminal() const { return pty_.slave.get(); }

 private:
  Pty pty_;
};

}  // namespace snh
