#include "session/SshModule.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <utility>

#include "base/DiagnosticLog.h"
#include "base/SystemError.h"
#include "codec/RequestRefused.h"
#include "output/OutputGate.h"
#include "output/OutputHandlers.h"
#include "output/PipeStreamReader.h"
#include "output/WorkerFailure.h"
#include "platform/ChildPipes.h"
#include "platform/ClientProcess.h"
#include "platform/ConsoleScreen.h"
#include "platform/ExitWatch.h"
#include "platform/OsError.h"
#include "platform/PseudoConsole.h"
#include "session/InputWriter.h"
#include "session/OutputEnds.h"
#include "session/ScreenReading.h"

namespace snh {

// Everything one connect creates. Released by ReleaseConnection in the documented order.
struct SshModule::Connection {
  OutputEnds outputEnds;  // first, so that it outlives the readers and the exit watch that use it
  OutputGate outputGate;  // likewise
  OutputOptions outputOptions;
  bool usePseudoConsole = false;
  ChildPipes pipes;
  std::unique_ptr<PseudoConsole> pseudoConsole;
  // One reader per output stream, each owning its handler.
  std::unique_ptr<PipeStreamReader> pseudoConsoleReader;
  std::unique_ptr<PipeStreamReader> stdoutReader;
  std::unique_ptr<PipeStreamReader> stderrReader;
  std::optional<ClientProcess> process;
  std::unique_ptr<InputWriter> inputWriter;
  std::unique_ptr<ExitWatch> exitWatch;
};

namespace {

void StopReader(std::unique_ptr<PipeStreamReader>& reader) {
  if (reader) reader->Stop();
  reader.reset();
}

// A reader whose end the exit notice waits for, held by the connection's gate.
std::unique_ptr<PipeStreamReader> StartReader(SshModule::Connection& connection, NativeHandle pipe,
                                              OutputHandler handler, JsonModule& json) {
  OutputEnds& ends = connection.outputEnds;
  ends.Open();
  try {
    return std::make_unique<PipeStreamReader>(
        pipe, std::move(handler), json,
        PipeStreamReader::Settings{connection.outputOptions.readBytes, &connection.outputGate,
                                   [&ends] { ends.Ended(); }});
  } catch (...) {
    ends.Ended();
    throw;
  }
}

constexpr Coord kScreenOrigin{0, 0};

// The asked size within its bounds; a value below the default (or not a number) keeps the default.
std::size_t ReadBytesFor(const std::optional<double>& asked) {
  constexpr auto kDefault = static_cast<double>(PipeStreamReader::kChunkSize);
  if (!asked || !(*asked > kDefault)) return PipeStreamReader::kChunkSize;
  return static_cast<std::size_t>(std::min(*asked, static_cast<double>(kMessageTextBudget)));
}

}  // namespace

SshModule::SshModule(JsonModule& json) : json_(json) {}

SshModule::~SshModule() {
  StopPolling();
  Disconnect();
  ReleaseConnection();
  screen_.reset();
}

void SshModule::SelectMode(const std::optional<std::string>& mode) {
  if (!mode || *mode == modes::kConsoleWithoutPolling) {
    mode_ = ConsoleMode::kConsoleWithoutPolling;
  } else if (*mode == modes::kConsoleWithPolling) {
    mode_ = ConsoleMode::kConsoleWithPolling;
  } else if (*mode == modes::kPseudoConsole) {
    mode_ = ConsoleMode::kPseudoConsole;
  }
  // Any other text keeps the mode of the previous connect.
}

void SshModule::ConnectSSH(const ConnectParams& params) {
  if (IsConnected()) return;
  ReleaseConnection();
  SelectMode(params.mode);
  try {
    OpenConnection(params);
  } catch (...) {
    // Whatever step failed, nothing of the connection is kept. The exit watch goes first, so that
    // ending and reaping a client it started sends no notice: the error reply tells the extension.
    if (connection_) {
      connection_->exitWatch.reset();
      if (connection_->process) connection_->process->TerminateAndWait();
    }
    connected_.store(false);
    ReleaseConnection();
    throw;
  }
}

void SshModule::OpenConnection(const ConnectParams& params) {
  connection_ = std::make_unique<Connection>();
  Connection& connection = *connection_;
  connection.usePseudoConsole = mode_ == ConsoleMode::kPseudoConsole;
  connection.outputOptions = OutputOptions{ReadBytesFor(params.maxOutputBytes), params.omitProcessedContent};
  outputPaused_.store(false);
  connection.pipes = CreateChildPipes();
  StartClient(connection, params);
  if (connection.usePseudoConsole) {
    connection.inputWriter = std::make_unique<InputWriter>(connection.pseudoConsole->inputWrite(),
                                                           "WriteFile pseudo console input", json_);
  } else {
    // The writer owns the pipe: it closes it on closeStdin, or when it is released.
    connection.inputWriter =
        std::make_unique<InputWriter>(std::move(connection.pipes.stdinWrite), "WriteFile child stdin", json_);
  }

  connection.stdoutReader =
      StartReader(connection, connection.pipes.stdoutRead.get(), StreamOutputHandler(json_, "stdout"), json_);
  connection.stderrReader =
      StartReader(connection, connection.pipes.stderrRead.get(), StreamOutputHandler(json_, "stderr"), json_);

  // The screen shows every write the client has finished when it is read, so in the console modes
  // the end of the pipes is the end of the output.
  const bool readScreenAtExit = !connection.usePseudoConsole;
  // Input for a client that has ended has no reader: the writer drops it rather than wait for one.
  connection.exitWatch = std::make_unique<ExitWatch>(
      connection.process->handle(), [this, readScreenAtExit, writer = connection.inputWriter.get(),
                                     ends = &connection.outputEnds, process = &*connection.process] {
        writer->Abandon();
        OnClientExit(readScreenAtExit, *ends, process->ExitCode());
      });

  if (params.pollingIntervalInSeconds) pollingIntervalInSeconds_.store(*params.pollingIntervalInSeconds);
  connected_.store(true);
  if (mode_ == ConsoleMode::kConsoleWithPolling) {
    {
      std::lock_guard lock(pollingMutex_);
      usePolling_ = true;
    }
    pollingThread_ = std::thread(&SshModule::PollConsole, this);
  }
}

void SshModule::StartClient(Connection& connection, const ConnectParams& params) {
  const ChildStdio stdio{connection.pipes.stdinRead.get(), connection.pipes.stdoutWrite.get(),
                         connection.pipes.stderrWrite.get()};
  if (connection.usePseudoConsole) {
    connection.pseudoConsole = std::make_unique<PseudoConsole>();
    connection.process.emplace(ClientProcess::StartInPseudoConsole(params, *connection.pseudoConsole, stdio));
    connection.pseudoConsole->ReleaseClientSide();
    connection.pseudoConsoleReader =
        StartReader(connection, connection.pseudoConsole->outputRead(),
                    PseudoConsoleOutputHandler(json_, connection.outputOptions), json_);
  } else {
    // Every connect starts at the usual size: a resized screen is replaced.
    if (screenResized_) screen_.reset();
    screenResized_ = false;
    if (!screen_) screen_ = std::make_unique<ConsoleScreen>();
    screen_->OpenClientSide();
    connection.process.emplace(ClientProcess::StartInConsole(params, *screen_, stdio));
  }
  // The client holds its own ends now. Without the session's copies, a write to a client that has gone
  // fails at once instead of waiting forever for a reader, and its output pipes end when it (and
  // whatever it started) has closed them.
  connection.pipes.stdinRead.reset();
  connection.pipes.stdoutWrite.reset();
  connection.pipes.stderrWrite.reset();
}

void SshModule::WriteInput(std::string text) {
  if (!connection_ || !connection_->process) return;
  Connection& connection = *connection_;
  // Input for a client that has exited has no reader; it is dropped.
  if (connection.process->HasExited()) return;
  // Refused input is answered, so that none is lost without the extension knowing.
  if (const std::optional<std::string> refusal = connection.inputWriter->Write(std::move(text))) {
    json_.WriteMessage(ErrorResponse(*refusal));
  }
}

void SshModule::Disconnect() {
  if (!IsConnected()) return;
  // What the client wrote before its end still goes out, then the exit notice.
  SetOutputPaused(false);
  connection_->process->TerminateAndWait();
  connection_->inputWriter->Abandon();
  connected_.store(false);
}

void SshModule::Resize(Coord size) {
  if (!connection_ || !connection_->process) return;
  try {
    if (connection_->pseudoConsole) {
      connection_->pseudoConsole->Resize(size);
    } else {
      std::lock_guard lock(screenMutex_);
      screenResized_ = true;
      screen_->Resize(size);
    }
  } catch (const SystemError& error) {
    throw RequestRefused(error.what());
  }
}

void SshModule::CloseInput() {
  if (!connection_ || !connection_->process) return;
  if (connection_->usePseudoConsole) throw RequestRefused(texts::kCloseStdinInPseudoConsole);
  connection_->inputWriter->Close();
}

void SshModule::SetOutputPaused(bool paused) {
  if (!connection_) return;
  // The exit notice's wait learns of the pause before the readers do, and of the resume after them,
  // so its limit never runs while a reader is held.
  if (paused) {
    outputPaused_.store(true);
    connection_->outputEnds.SetPaused(true);
    connection_->outputGate.Pause();
  } else {
    connection_->outputGate.Resume();
    connection_->outputEnds.SetPaused(false);
    outputPaused_.store(false);
  }
}

void SshModule::StopPolling() {
  {
    std::lock_guard lock(pollingMutex_);
    usePolling_ = false;
  }
  pollingWake_.notify_all();
  if (pollingThread_.joinable()) pollingThread_.join();
}

void SshModule::ReleaseConnection() {
  SetOutputPaused(false);
  StopPolling();
  if (!connection_) return;
  Connection& connection = *connection_;
  // The client has ended. Its notice goes out now, after the output already on its way: closing the
  // pseudo console (its reader still draining it) ends that output too.
  if (connection.pseudoConsole) connection.pseudoConsole->Close();
  connection.outputEnds.Release();
  connection.exitWatch.reset();
  connection.inputWriter.reset();
  StopReader(connection.stderrReader);
  StopReader(connection.stdoutReader);
  StopReader(connection.pseudoConsoleReader);
  // What the client left behind loses the console screen with the connection.
  if (!connection.usePseudoConsole && screen_) screen_->CloseClientSide();
  connection_.reset();
}

void SshModule::PollConsole() {
  try {
    for (;;) {
      {
        std::unique_lock lock(pollingMutex_);
        pollingWake_.wait_for(lock, PollingPause(pollingIntervalInSeconds_.load()),
                              [this] { return !usePolling_; });
        if (!usePolling_) return;
      }
      // While paused the screen keeps its text; the next poll after the resume sends it.
      if (IsConnected() && !outputPaused_.load()) SendConsoleScreen();
    }
  } catch (const std::exception& error) {
    ReportWorkerFailure(json_, error.what());
  }
}

void SshModule::OnClientExit(bool readScreen, OutputEnds& outputEnds, std::optional<std::int64_t> exitCode) {
  DebugOutput("WaitForProcessExit");
  if (exitCode) {
    LogDiagnostic("client exited with status {}", *exitCode);
  } else {
    LogDiagnostic("client exited");
  }
  // The notice follows the client's last output: it waits for the readers to reach their ends (or
  // for the release of the connection), but never longer than the delay.
  outputEnds.Wait(kExitNoticeDelay);
  try {
    if (readScreen) SendConsoleScreen();
    Response notice = ErrorResponse(texts::kProcessExited);
    notice.exitCode = exitCode;
    json_.WriteMessage(notice);
  } catch (const std::exception& error) {
    ReportWorkerFailure(json_, error.what());
  } catch (...) {
    DebugOutput("WaitForProcessExit stopped by an unknown exception");
  }
}

void SshModule::SendConsoleScreen() {
  screen_->Settle();
  std::lock_guard lock(screenMutex_);
  const ScreenInfo info = screen_->Query();
  if (info.cursor == kScreenOrigin) return;
  const std::int32_t cells = CellsBetween(kScreenOrigin, info.cursor, info.size.x);
  const std::u16string text = screen_->ReadCells(kScreenOrigin, cells);
  screen_->Blank(kScreenOrigin, cells);
  screen_->MoveCursorHome();
  for (const ConsoleOutput& piece : SplitConsoleRead(info.size, kScreenOrigin, info.cursor, text)) {
    Response message;
    message.type = "console_output";
    message.consoleOutput = piece;
    json_.WriteMessage(message);
  }
}

}  // namespace snh
