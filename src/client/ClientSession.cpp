#include "client/ClientSession.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "client/ChildProcess.h"
#include "client/FrameCodec.h"
#include "client/KeyboardInput.h"
#include "client/MessagePresenter.h"
#include "client/TerminalModes.h"
#include "codec/Messages.h"

namespace snh::client {
namespace {

using namespace std::chrono_literals;

// As ssh's ~. does.
constexpr int kEndedByEscapeStatus = 255;

// How long the host may take to end after its input has closed; it ends its client first.
constexpr auto kHostExitWait = 10s;

// Requests and capabilities beyond the base protocol; a host that lacks them answers getCapabilities
// with an error and is then used as before.
constexpr std::string_view kGetCapabilities = R"({"type":"getCapabilities"})";
constexpr std::string_view kCloseStdin = R"({"type":"closeStdin"})";
constexpr const char* kResizeCapability = "resize";
constexpr const char* kCloseStdinCapability = "closeStdin";

// The host refuses a terminal larger than this each way; a larger window is sent as this.
constexpr int kLargestTerminal = static_cast<int>(kMaxConsoleSide);

std::string ResizeRequest(WindowSize size) {
  const nlohmann::json request = {{"type", "resize"},
                                  {"consoleSize",
                                   {{"x", std::clamp(size.columns, 1, kLargestTerminal)},
                                    {"y", std::clamp(size.rows, 1, kLargestTerminal)}}}};
  return request.dump();
}

std::string TypeOf(const nlohmann::json& message) {
  if (!message.is_object()) return {};
  const auto type = message.find("type");
  return type != message.end() && type->is_string() ? type->get<std::string>() : std::string();
}

// What the output worker tells the input loop and the window watch.
class SessionState {
 public:
  void End(std::optional<std::string> failure, std::optional<std::uint32_t> exitCode = std::nullopt) {
    std::lock_guard lock(mutex_);
    if (over_) return;
    over_ = true;
    failure_ = std::move(failure);
    exitCode_ = exitCode;
    changed_.notify_all();
  }
  void SetCapabilities(std::set<std::string> offered) {
    std::lock_guard lock(mutex_);
    capabilities_ = std::move(offered);
    changed_.notify_all();
  }
  // What the host offers, once it has answered; nothing when the session ends first.
  std::set<std::string> WaitForCapabilities() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return over_ || capabilities_; });
    return capabilities_.value_or(std::set<std::string>());
  }
  void WaitUntilOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return over_; });
  }
  bool Over() {
    std::lock_guard lock(mutex_);
    return over_;
  }
  std::optional<std::string> Failure() {
    std::lock_guard lock(mutex_);
    return failure_;
  }
  std::optional<std::uint32_t> ExitCode() {
    std::lock_guard lock(mutex_);
    return exitCode_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool over_ = false;
  std::optional<std::string> failure_;
  std::optional<std::uint32_t> exitCode_;
  std::optional<std::set<std::string>> capabilities_;
};

// How a key shows in the client's lines: ^] for a control key.
std::string KeyName(char key) {
  if (static_cast<unsigned char>(key) < 0x20 || key == 0x7f) return {'^', static_cast<char>(key ^ 0x40)};
  return {key};
}

// Said once, before the terminal turns raw: in a raw terminal Ctrl-C goes to the program, so a user
// would otherwise not know how to leave.
std::string OpeningLine(const std::string& program, std::optional<char> escape, bool raw) {
  std::string line = "ssh-native-host-cli: running " + program + " through ssh-native-host; ";
  if (!escape) return line + "no escape character, the session ends with the program\n";
  return line + KeyName(*escape) + ". at the start of a line ends the session" +
         (raw ? "\n" : " (then Enter)\n");
}

// In the console modes the terminal stays in line mode: the user must know before typing a password.
std::string ConsoleModeWarning(const std::string& mode) {
  return "ssh-native-host-cli: warning: in " + mode +
         " mode what you type is shown as you type it and reaches only the program's standard input, "
         "never ssh's password prompt; log in with --mode pseudo_console\n";
}

class Session {
 public:
  Session(const ClientOptions& options, LocalConsole& console)
      : options_(options),
        console_(console),
        host_(StartChildProcess(options.hostPath.value_or(DefaultHostPath()), {std::string(kClientOrigin)})) {
  }

  int Run() {
    const bool terminal = console_.InputIsTerminal();
    const std::string mode = ResolveMode(options_, terminal);
    const ClientProgram program = ResolveProgram(options_, DefaultShell(), mode == modes::kPseudoConsole);
    const std::string connect = ConnectRequest(options_, mode, program)
                                    .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const bool pseudoConsole = mode == modes::kPseudoConsole;
    const bool raw = terminal && pseudoConsole;
    if (terminal && !options_.quiet)
      console_.WriteError(OpeningLine(program.fileName, options_.escapeCharacter, raw));
    if (terminal && !pseudoConsole) console_.WriteError(ConsoleModeWarning(mode));
    if (raw) console_.EnterRawMode();
    // The program may set its own title and modes; the user's come back when the session ends.
    if (!options_.json) console_.SaveWindowTitle();
    if (!options_.json && pseudoConsole) console_.RestoreProgramModesAtEnd();
    lineEnd_ = raw && console_.OutputIsTerminal() ? "\r\n" : "\n";
    const std::string& lineEnd = lineEnd_;
    // Without a terminal the output is the program's bytes alone; its console's text is for the user.
    const MessagePresenter presenter(lineEnd, program.fileName, !terminal && !options_.mode);

    {
      std::jthread errors([&] { RelayHostErrors(); });
      std::jthread output([&] { ReadHostOutput(presenter, pseudoConsole); });
      std::jthread windowWatch([&] { FollowWindowSize(); });
      // Declared after the threads, so that however the input loop ends the host is ended before
      // they are joined.
      const HostEnding ending(*this);
      // One write, so that a resize sent after the answer reaches the host after the connect.
      if (host_->WriteInput(EncodeFrame(kGetCapabilities) + EncodeFrame(connect))) ForwardInput(mode);
    }

    // The client's last words go to the main screen.
    console_.PutProgramModesBack();
    if (endedByEscape_) {
      // As ssh's ~. does; the shell's prompt is likely half a line.
      console_.WriteError(lineEnd +
                          (options_.destination ? "Connection to " + *options_.destination
                                                : "Session of " + program.fileName) +
                          " closed." + lineEnd);
      return kEndedByEscapeStatus;
    }
    if (const auto failure = state_.Failure()) {
      console_.WriteError(ErrorLine("ssh-native-host-cli", *failure, lineEnd));
      return 1;
    }
    // The program's status; 0 from a host that does not report it.
    return static_cast<int>(state_.ExitCode().value_or(0));
  }

 private:
  class HostEnding {
   public:
    explicit HostEnding(Session& session) : session_(session) {}
    ~HostEnding() { session_.EndHost(); }
    HostEnding(const HostEnding&) = delete;
    HostEnding& operator=(const HostEnding&) = delete;

   private:
    Session& session_;
  };

  // Ends the window watch, then the host, then every wait on the host's pipes.
  void EndHost() {
    console_.CancelInput();
    // Closing its input is how a browser ends the host: it ends the client and exits.
    host_->CloseInput();
    if (!host_->WaitForExit(kHostExitWait)) {
      state_.End("the host did not end within " + std::to_string(kHostExitWait.count()) + " s; ended it");
      host_->Kill();
    }
    // A client that the host left behind may still hold the host's pipes open.
    host_->CancelPendingIo();
  }

  bool Send(const std::string& body) { return host_->WriteInput(EncodeFrame(body)); }

  void ForwardInput(const std::string& mode) {
    const bool terminal = console_.InputIsTerminal();
    const bool pipedIntoTerminal = !terminal && mode == modes::kPseudoConsole;
    KeyboardInput keyboard({.escapeCharacter = terminal ? options_.escapeCharacter : std::nullopt,
                            .lineEndsAsReturn = pipedIntoTerminal,
                            .endWithEndOfFile = pipedIntoTerminal});
    std::array<char, 4096> buffer{};
    while (!state_.Over()) {
      const std::size_t count = console_.ReadInput(buffer);
      if (count == 0) break;
      const KeyboardChunk chunk = keyboard.Feed(std::string_view(buffer.data(), count));
      if (!chunk.text.empty() && !Send(StdinRequest(chunk.text))) return;
      if (chunk.end) {
        // The host ends the client; its exit notice is not waited for.
        Send(R"({"type":"disconnect"})");
        endedByEscape_ = true;
        state_.End(std::nullopt);
        return;
      }
    }
    if (state_.Over()) return;
    // Piped input has ended, and so does the program's: on a terminal by Ctrl-D, otherwise by closing
    // its input where the host can. The program decides when the session is over.
    if (const std::string rest = keyboard.Finish(); !rest.empty()) Send(StdinRequest(rest));
    if (!pipedIntoTerminal && state_.WaitForCapabilities().contains(kCloseStdinCapability)) {
      Send(std::string(kCloseStdin));
    }
    state_.WaitUntilOver();
  }

  void ReadHostOutput(const MessagePresenter& presenter, bool pseudoConsole) {
    AlternateScreenTracker screen;
    FrameDecoder decoder;
    bool answered = false;
    std::array<char, 16384> buffer{};
    for (;;) {
      const std::size_t count = host_->ReadOutput(buffer);
      if (count == 0) {
        decoder.Finish();
      } else {
        decoder.Feed(std::string_view(buffer.data(), count));
      }
      while (auto frame = decoder.Next()) {
        // The first message answers getCapabilities, the client's own question: it is not shown.
        if (!answered) {
          answered = true;
          state_.SetCapabilities(OfferedCapabilities(frame->message));
          if (const std::string type = TypeOf(frame->message); type == "capabilities" || type == "error")
            continue;
        }
        if (!Show(presenter, *frame, pseudoConsole ? &screen : nullptr)) {
          return Stop("cannot write to standard output");
        }
      }
      if (const auto& failure = decoder.Failure()) return Stop("the host broke the protocol: " + *failure);
      if (count == 0) break;
    }
    if (!state_.Over()) {
      const auto status = host_->WaitForExit(kHostExitWait);
      Stop("the host ended before the session did" +
           (status ? " (exit status " + std::to_string(*status) + ")" : std::string()));
    }
  }

  // `screen` follows the program's raw output, when it goes to the terminal as it is.
  bool Show(const MessagePresenter& presenter, const DecodedFrame& frame, AlternateScreenTracker* screen) {
    // Once the session is over, answers to requests still in flight (a resize) no longer concern the user.
    if (!options_.json && state_.Over() && TypeOf(frame.message) == "error") return true;
    const Presentation shown = presenter.Present(frame.message);
    bool written = true;
    if (options_.json) {
      written = console_.WriteOutput(frame.body + lineEnd_);
    } else {
      if (screen != nullptr && screen->Feed(shown.output)) console_.NoteAlternateScreen(screen->Screen());
      if (!shown.output.empty()) written = console_.WriteOutput(shown.output);
      if (!shown.error.empty()) console_.WriteError(shown.error);
    }
    if (shown.sessionEnded) {
      state_.End(std::nullopt, shown.exitCode);
      console_.CancelInput();
    }
    return written;
  }

  void Stop(std::string failure) {
    state_.End(std::move(failure));
    console_.CancelInput();
  }

  // The program's terminal takes the window's size once the host has said it can, then every new one.
  void FollowWindowSize() {
    if (!state_.WaitForCapabilities().contains(kResizeCapability)) return;
    do {
      if (const auto size = console_.OutputWindowSize(); size && !state_.Over()) Send(ResizeRequest(*size));
    } while (console_.WaitForWindowChange());
  }

  void RelayHostErrors() {
    std::array<char, 4096> buffer{};
    while (const std::size_t count = host_->ReadError(buffer)) {
      console_.WriteError(std::string_view(buffer.data(), count));
    }
  }

  const ClientOptions& options_;
  LocalConsole& console_;
  std::string lineEnd_;         // of the client's own lines: "\r\n" while the terminal is raw
  bool endedByEscape_ = false;  // the input loop's, read once the workers are joined
  SessionState state_;
  std::unique_ptr<ChildProcess> host_;
};

}  // namespace

int RunClientSession(const ClientOptions& options, LocalConsole& console) {
  return Session(options, console).Run();
}

}  // namespace snh::client
