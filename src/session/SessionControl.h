#pragma once

// What the request loop needs of the session: the session implements it, the host calls it.

#include <string>

#include "codec/Messages.h"

namespace snh {

class SessionControl {
 public:
  virtual ~SessionControl() = default;
  // Starts the client unless one is connected. Raises on failure.
  virtual void ConnectSSH(const ConnectParams& params) = 0;
  // True from a successful connect until a disconnect, also after the client has exited.
  virtual bool IsConnected() = 0;
  // Writes the text unchanged to the client; a text it cannot take (a full queue, an earlier failed
  // write) is answered with an "error" instead. Raises on failure.
  virtual void WriteInput(std::string text) = 0;
  // Ends a connected client and waits for it. Never raises.
  virtual void Disconnect() = 0;
  // Gives the connected client's console `size` (columns, rows), each from 1 to 1000. Raises on failure.
  virtual void Resize(Coord size) = 0;
  // Ends the connected client's standard input after the input queued before it. Raises RequestRefused
  // where the input has no end (a pseudo console).
  virtual void CloseInput() = 0;
  // Stops (or resumes) reading the connected client's output; a disconnect resumes it.
  virtual void SetOutputPaused(bool paused) = 0;
};

}  // namespace snh
