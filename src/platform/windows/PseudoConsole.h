#pragma once

// A pseudo console, 50 by 30 cells to start with, with its input and output pipes.

#include <windows.h>

#include <memory>

#include "UniqueHandle.h"
#include "codec/Messages.h"

namespace snh {

class PseudoConsole {
 public:
  static constexpr short kColumns = 50;
  static constexpr short kRows = 30;

  // Creates both pipes and the pseudo console. Raises on failure.
  PseudoConsole();
  // Drops the session's copies of the console's own pipe ends (the console has its own), so that the
  // output pipe ends once the console is closed.
  void ReleaseClientSide();
  // Closes the pseudo console; may wait while the console flushes its last output to the output
  // pipe, so the output's reader must still run.
  void Close();
  ~PseudoConsole() { Close(); }
  // Raises "ResizePseudoConsole failed. 0x<HRESULT> ..." on failure (Wine: E_NOTIMPL).
  void Resize(Coord size);
  PseudoConsole(const PseudoConsole&) = delete;
  PseudoConsole& operator=(const PseudoConsole&) = delete;

  HPCON handle() const { return console_; }
  NativeHandle inputWrite() const { return inputWrite_.get(); }
  NativeHandle outputRead() const { return outputRead_.get(); }

 private:
  UniqueHandle inputRead_, inputWrite_;
  UniqueHandle outputRead_, outputWrite_;
  HPCON console_ = nullptr;
};

}  // namespace snh
