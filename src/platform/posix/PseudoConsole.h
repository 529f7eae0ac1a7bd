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
  // The session keeps the slave open until it is destroyed, so reading the master never ends with
  // EIO when the client exits; there is nothing to close before the reader stops.
  void Close() {}

  NativeHandle inputWrite() const { return pty_.master.get(); }
  NativeHandle outputRead() const { return pty_.master.get(); }
  NativeHandle terminal() const { return pty_.slave.get(); }

 private:
  Pty pty_;
};

}  // namespace snh
