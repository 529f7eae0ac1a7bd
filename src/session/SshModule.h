#pragma once

// The session: owns the client process and everything attached to it (its console, its pipes, the
// writer of its input, the readers of its output, the console polling thread and the wait that reports
// its exit).
//
// Shutdown order, for one connection (at the next connect, and at the end of the host):
//   0. paused output is resumed, so that what the client wrote reaches the extension;
//   1. the polling thread is stopped and joined;
//   2. a client still connected is terminated and waited for;
//   3. the pseudo console is closed while its reader still drains it;
//   4. the exit wait is released (a running callback stops waiting for the client's output) and
//      unregistered, waiting for a callback that is running (it reads the screen and sends messages);
//   5. the input writer is stopped and the standard-input pipe closed, the standard-error, standard-
//      output and pseudo-console readers stopped;
//   6. the console screen's terminal is hung up (POSIX), so that what the client left behind no longer
//      reaches the screen;
//   7. the pipes, pseudo console and process handles are released.
// The console screen buffer lives as long as the session, unless a resize changed it: then the next
// console-mode connect starts on a new one, of the usual size. A connect that fails at any step ends the
// client it started, releases the rest in the same order and leaves the session not connected.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "codec/JsonModule.h"
#include "session/SessionControl.h"

namespace snh {

class ConsoleScreen;
class OutputEnds;

class SshModule final : public SessionControl {
 public:
  struct Connection;  // everything one connect creates

  explicit SshModule(JsonModule& json);
  ~SshModule() override;
  SshModule(const SshModule&) = delete;
  SshModule& operator=(const SshModule&) = delete;

  void ConnectSSH(const ConnectParams& params) override;
  bool IsConnected() override { return connected_.load(); }
  void WriteInput(std::string text) override;
  void Disconnect() override;
  // A failure of the system call is refused (answered, the host goes on), not raised.
  void Resize(Coord size) override;
  void CloseInput() override;
  void SetOutputPaused(bool paused) override;

 private:
  enum class ConsoleMode { kPseudoConsole, kConsoleWithPolling, kConsoleWithoutPolling };

  void SelectMode(const std::optional<std::string>& mode);
  // Everything of a connect after the mode is chosen; raises with the connection half built.
  void OpenConnection(const ConnectParams& params);
  void StartClient(Connection& connection, const ConnectParams& params);
  void ReleaseConnection();
  void PollConsole();
  // Ends the polling thread, if any, and waits for it.
  void StopPolling();
  // Sends the exit notice (after the last screen text, if `readScreen`) once the client's output has
  // ended, or the connection is released, or a second has passed.
  void OnClientExit(bool readScreen, OutputEnds& outputEnds, std::optional<std::int64_t> exitCode);
  // Reads the new text of the screen buffer, blanks it and sends it. Raises on failure.
  void SendConsoleScreen();

  JsonModule& json_;
  ConsoleMode mode_ = ConsoleMode::kConsoleWithoutPolling;  // main thread only
  std::atomic<bool> connected_{false};
  std::atomic<double> pollingIntervalInSeconds_{0.1};
  std::atomic<bool> outputPaused_{false};  // the connection's; polling sends nothing while it is set

  std::mutex screenMutex_;  // serialises the polling thread's and the exit callback's screen reads
  std::unique_ptr<ConsoleScreen> screen_;  // created by the first console-mode connect, kept after
  bool screenResized_ = false;             // main thread only

  std::mutex pollingMutex_;
  std::condition_variable pollingWake_;
  bool usePolling_ = false;  // guarded by pollingMutex_
  std::thread pollingThread_;

  std::unique_ptr<Connection> connection_;
};

}  // namespace snh
