#include "platform/ConsoleScreen.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/ConsoleSize.h"
#include "platform/OsError.h"
#include "platform/Wait.h"
#include "platform/posix/Pty.h"
#include "platform/RetryOnInterrupt.h"
#include "platform/posix/VtermScreen.h"

// The screen lives as long as the session; each connection's client gets a terminal (pty) of its own,
// whose output a renderer thread feeds into the screen. Closing a connection's terminal hangs it up,
// so what its processes write afterwards reaches nobody.
//
// A client can write faster than libvterm renders (on a large screen every scrolled line moves every
// cell), so the renderer holds the screen's lock for about kRenderSlice at a time, reads taking their
// turn in between; the client then waits on a full terminal, as it would on a slow one.

namespace snh {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRenderSlice = std::chrono::milliseconds(2);
// Bytes rendered between two looks at the clock: no byte costs more than a screen's worth of cells.
constexpr std::size_t kRenderStep = 64;
// The longest a read waits for output the client has already written to be rendered.
constexpr auto kLongestSettle = std::chrono::milliseconds(500);

}  // namespace

struct ConsoleScreen::State {
  explicit State(Coord size) : screen(size) {}

  // One connection's terminal and the thread that renders its output.
  struct Terminal {
    Terminal(State& owner, Coord size);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    void Render(State& owner);

    Pty pty;
    WakeSignal stop;
    std::thread renderer;
  };

  std::mutex mutex;  // guards the screen and the counts below
  std::condition_variable rendered;
  VtermScreen screen;
  std::uint64_t bytesRead = 0;      // taken from the terminal
  std::uint64_t bytesRendered = 0;  // of those, written into the screen
  bool rendering = false;           // from before a read to the end of its rendering
  std::optional<Terminal> terminal;
};

ConsoleScreen::State::Terminal::Terminal(State& owner, Coord size)
    : pty(OpenPty(size, "CreateConsoleScreenBuffer")) {
  const int flags = ::fcntl(pty.master.get(), F_GETFL);
  if (flags < 0 || ::fcntl(pty.master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    RaiseLastError("CreateConsoleScreenBuffer");
  }
  renderer = std::thread(&Terminal::Render, this, std::ref(owner));
}

ConsoleScreen::State::Terminal::~Terminal() {
  stop.Raise();
  renderer.join();
}

void ConsoleScreen::State::Terminal::Render(State& owner) {
  std::array<char, 4096> buffer;
  for (;;) {
    if (WaitForHandle(pty.master.get(), &stop) != WaitOutcome::kReady) return;
    // Marked before the read, so that a Settle never sees the bytes neither waiting nor counted.
    {
      std::lock_guard lock(owner.mutex);
      owner.rendering = true;
    }
    const ssize_t count =
        RetryOnInterrupt([&] { return ::read(pty.master.get(), buffer.data(), buffer.size()); });
    if (count <= 0) {
      {
        std::lock_guard lock(owner.mutex);
        owner.rendering = false;
      }
      owner.rendered.notify_all();
      if (count < 0 && errno == EAGAIN) continue;
      // The session holds the terminal, so the master has no end; a failing one leaves the screen as
      // it is.
      return;
    }
    {
      std::lock_guard lock(owner.mutex);
      owner.bytesRead += static_cast<std::uint64_t>(count);
    }
    const std::string_view output(buffer.data(), static_cast<std::size_t>(count));
    for (std::size_t done = 0; done < output.size();) {
      {
        std::lock_guard lock(owner.mutex);
        const Clock::time_point end = Clock::now() + kRenderSlice;
        do {
          const std::string_view step = output.substr(done, kRenderStep);
          owner.screen.Write(step);
          done += step.size();
          owner.bytesRendered += step.size();
        } while (done < output.size() && Clock::now() < end);
        if (done == output.size()) {
          owner.screen.Flush();
          owner.rendering = false;
        }
      }
      owner.rendered.notify_all();
    }
  }
}

ConsoleScreen::ConsoleScreen() : state_(std::make_unique<State>(kConsoleSize)) {}

ConsoleScreen::~ConsoleScreen() { CloseClientSide(); }

void ConsoleScreen::OpenClientSide() {
  CloseClientSide();
  State& view = *state_;
  Coord size;
  {
    std::lock_guard lock(view.mutex);
    size = view.screen.size();
  }
  view.terminal.emplace(view, size);
}

void ConsoleScreen::CloseClientSide() {
  State& view = *state_;
  // The renderer takes the lock; it is stopped without it.
  view.terminal.reset();
  std::lock_guard lock(view.mutex);
  view.screen.SkipUnread();
  view.bytesRead = view.bytesRendered;
  view.rendering = false;
}

NativeHandle ConsoleScreen::clientSide() const {
  return state_->terminal ? state_->terminal->pty.slave.get() : kNoHandle;
}

void ConsoleScreen::Settle() {
  State& view = *state_;
  if (!view.terminal) return;
  int waiting = 0;
  if (::ioctl(view.terminal->pty.master.get(), FIONREAD, &waiting) != 0) waiting = 0;
  std::unique_lock lock(view.mutex);
  const std::uint64_t target = view.bytesRead + static_cast<std::uint64_t>(std::max(waiting, 0));
  view.rendered.wait_for(lock, kLongestSettle,
                         [&view, target] { return !view.rendering && view.bytesRendered >= target; });
}

ScreenInfo ConsoleScreen::Query() {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  view.screen.Flush();
  const Coord cursor = view.screen.Query();
  return ScreenInfo{view.screen.size(), cursor};
}

std::u16string ConsoleScreen::ReadCells(Coord from, std::int32_t count) {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  return view.screen.ReadCells(from, count);
}

void ConsoleScreen::Blank(Coord from, std::int32_t count) {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  view.screen.Blank(from, count);
}

void ConsoleScreen::MoveCursorHome() {
  State& view = *state_;
  std::lock_guard lock(view.mutex);
  view.screen.MoveCursorHome();
}

void ConsoleScreen::Resize(Coord requested) {
  State& view = *state_;
  const Coord size = VtermScreen::Fit(requested);
  {
    std::lock_guard lock(view.mutex);
    view.screen.Resize(size);
  }
  if (view.terminal) SetPtySize(view.terminal->pty.master.get(), size, "SetConsoleScreenBufferSize");
}

}  // namespace snh
