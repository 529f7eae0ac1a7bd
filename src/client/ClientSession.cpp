#include "client/ClientSession.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "client/ChildProcess.h"
#include "client/FrameCodec.h"
#include "client/KeyboardInput.h"
#include "client/MessagePresenter.h"

namespace snh::client {
namespace {

using namespace std::chrono_literals;

// How long the host may take to end after its input has closed; it ends its client first.
constexpr auto kHostExitWait = 10s;

// What the output worker tells the input loop.
class SessionState {
 public:
  void End(std::optional<std::string> failure) {
    std::lock_guard lock(mutex_);
    if (over_) return;
    over_ = true;
    failure_ = std::move(failure);
    changed_.notify_all();
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

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool over_ = false;
  std::optional<std::string> failure_;
};

// Said once, before the terminal turns raw: in a raw terminal Ctrl-C goes to the program, so a user
// would otherwise not know how to leave.
std::string EndKeyHint(const std::string& program, bool raw) {
  return "ssh-native-host-cli: running " + program + " through ssh-native-host; " +
         (raw ? "Ctrl-] ends the session\n" : "Ctrl-] then Enter ends the session\n");
}

class Session {
 public:
  Session(const ClientOptions& options, LocalConsole& console)
      : options_(options),
        console_(console),
        host_(StartChildProcess(options.hostPath.value_or(DefaultHostPath()), {std::string(kClientOrigin)})) {
  }

  int Run() {
    const ClientProgram program = ResolveProgram(options_, DefaultShell());
    const std::string connect =
        ConnectRequest(options_, program).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    const bool raw = console_.InputIsTerminal() && options_.mode == modes::kPseudoConsole;
    if (console_.InputIsTerminal()) console_.WriteError(EndKeyHint(program.fileName, raw));
    if (raw) console_.EnterRawMode();
    const std::string lineEnd = raw && console_.OutputIsTerminal() ? "\r\n" : "\n";

    std::thread errors([&] { RelayHostErrors(); });
    std::thread output([&] { ReadHostOutput(lineEnd, program.fileName); });

    if (Send(connect)) ForwardInput(lineEnd);

    // Closing its input is how a browser ends the host: it ends the client and exits.
    host_->CloseInput();
    if (!host_->WaitForExit(kHostExitWait)) {
      state_.End("the host did not end within " + std::to_string(kHostExitWait.count()) + " s; ended it");
      host_->Kill();
    }
    // A client that the host left behind may still hold the host's pipes open.
    host_->CancelPendingIo();
    output.join();
    errors.join();

    if (const auto failure = state_.Failure()) {
      console_.WriteError(ErrorLine("ssh-native-host-cli", *failure, lineEnd));
      return 1;
    }
    return 0;
  }

 private:
  bool Send(const std::string& body) { return host_->WriteInput(EncodeFrame(body)); }

  void ForwardInput(const std::string& lineEnd) {
    const bool terminal = console_.InputIsTerminal();
    KeyboardInput keyboard(
        {.detachKey = terminal, .lineEndsAsReturn = !terminal && options_.mode == modes::kPseudoConsole});
    std::array<char, 4096> buffer{};
    while (!state_.Over()) {
      const std::size_t count = console_.ReadInput(buffer);
      if (count == 0) break;
      const KeyboardChunk chunk = keyboard.Feed(std::string_view(buffer.data(), count));
      if (!chunk.text.empty() && !Send(StdinRequest(chunk.text))) return;
      if (chunk.detach) {
        // The host ends the client; its exit notice is not waited for.
        Send(R"({"type":"disconnect"})");
        state_.End(std::nullopt);
        // The shell's prompt is likely half a line; what follows starts on a line of its own.
        console_.WriteOutput(lineEnd);
        return;
      }
    }
    if (state_.Over()) return;
    // Piped input has ended: the program decides when the session is over.
    if (const std::string rest = keyboard.Finish(); !rest.empty()) Send(StdinRequest(rest));
    state_.WaitUntilOver();
  }

  void ReadHostOutput(const std::string& lineEnd, const std::string& program) {
    const MessagePresenter presenter(lineEnd, program);
    FrameDecoder decoder;
    std::array<char, 16384> buffer{};
    for (;;) {
      const std::size_t count = host_->ReadOutput(buffer);
      if (count == 0) {
        decoder.Finish();
      } else {
        decoder.Feed(std::string_view(buffer.data(), count));
      }
      while (auto frame = decoder.Next()) {
        if (!Show(presenter, *frame, lineEnd)) return Stop("cannot write to standard output");
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

  bool Show(const MessagePresenter& presenter, const DecodedFrame& frame, const std::string& lineEnd) {
    const Presentation shown = presenter.Present(frame.message);
    bool written = true;
    if (options_.json) {
      written = console_.WriteOutput(frame.body + lineEnd);
    } else {
      if (!shown.output.empty()) written = console_.WriteOutput(shown.output);
      if (!shown.error.empty()) console_.WriteError(shown.error);
    }
    if (shown.sessionEnded) {
      state_.End(std::nullopt);
      console_.CancelInput();
    }
    return written;
  }

  void Stop(std::string failure) {
    state_.End(std::move(failure));
    console_.CancelInput();
  }

  void RelayHostErrors() {
    std::array<char, 4096> buffer{};
    while (const std::size_t count = host_->ReadError(buffer)) {
      console_.WriteError(std::string_view(buffer.data(), count));
    }
  }

  const ClientOptions& options_;
  LocalConsole& console_;
  SessionState state_;
  std::unique_ptr<ChildProcess> host_;
};

}  // namespace

int RunClientSession(const ClientOptions& options, LocalConsole& console) {
  return Session(options, console).Run();
}

}  // namespace snh::client
