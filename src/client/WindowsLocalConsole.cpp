// The terminal client's streams on Windows. Raw mode is the console's virtual-terminal input (keys as
// the bytes a terminal sends) and output (escape sequences interpreted). Console input is read as
// UTF-16 and passed on as UTF-8; piped input is polled, since an anonymous pipe cannot be waited on, so
// that CancelInput never waits for a writer. Window changes arrive among the console's input events.
// What the console changed is put back by its owner, or by a handler when a console event ends the
// process.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "client/LocalConsole.h"
#include "codec/WideText.h"
#include "platform/OsError.h"
#include "platform/PipeIo.h"
#include "platform/Wait.h"
#include "platform/WakeSignal.h"

namespace snh::client {
namespace {

constexpr std::chrono::milliseconds kPipePoll{10};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// False once the reader is gone or the write fails otherwise.
bool WriteAll(HANDLE stream, std::string_view bytes) {
  return WriteWhole(stream, bytes).outcome == WriteOutcome::kDone;
}

bool WriteConsoleText(HANDLE console, std::string_view utf8) {
  const std::u16string text = ToUtf16(utf8);
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                       nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

struct LocalConsole::State {
  State()
      : input_(GetStdHandle(STD_INPUT_HANDLE)),
        output_(GetStdHandle(STD_OUTPUT_HANDLE)),
        error_(GetStdHandle(STD_ERROR_HANDLE)),
        windowChanged_(CreateEventW(nullptr, /*bManualReset=*/FALSE, /*bInitialState=*/FALSE, nullptr)) {
    if (!windowChanged_) RaiseLastError("CreateEvent");
    inputIsConsole_ = IsConsole(input_);
    outputIsConsole_ = IsConsole(output_);
    errorIsConsole_ = IsConsole(error_);
    // Window changes are input events only when asked for.
    if (inputIsConsole_ && GetConsoleMode(input_, &inputMode_)) {
      inputModeSaved_ = true;
      SetConsoleMode(input_, inputMode_ | ENABLE_WINDOW_INPUT);
    }
    std::lock_guard lock(endingMutex_);
    ending_ = this;
    SetConsoleCtrlHandler(PutBackOnEndingEvent, /*Add=*/TRUE);
  }

  ~State() {
    SetConsoleCtrlHandler(PutBackOnEndingEvent, /*Add=*/FALSE);
    std::lock_guard lock(endingMutex_);
    ending_ = nullptr;
    PutBack(lock);
  }

  // Ctrl-C in the console modes, Ctrl-Break, the window closing: the process ends once the handlers
  // have run (this one declines), as POSIX's ending signals end it.
  static BOOL WINAPI PutBackOnEndingEvent(DWORD) {
    std::lock_guard lock(endingMutex_);
    if (ending_ != nullptr) ending_->PutBack(lock);
    return FALSE;
  }

  // Once: the program's modes (while the output still interprets escape sequences), the console's
  // modes, the title.
  void PutBack(const std::lock_guard<std::mutex>&) {
    if (std::exchange(putBack_, true)) return;
    PutProgramModesBack();
    if (inputModeSaved_) SetConsoleMode(input_, inputMode_);
    if (outputModeSaved_) SetConsoleMode(output_, outputMode_);
    if (titleSaved_) SetConsoleTitleW(title_.c_str());
  }

  bool InputIsTerminal() const { return inputIsConsole_; }
  bool OutputIsTerminal() const { return outputIsConsole_; }

  void EnterRawMode() {
    std::lock_guard lock(endingMutex_);
    if (!inputModeSaved_) {
      if (!GetConsoleMode(input_, &inputMode_)) RaiseLastError("GetConsoleMode");
      inputModeSaved_ = true;
    }
    // No line editing, echo or Ctrl-C handling: every key goes to the program.
    if (!SetConsoleMode(input_, ENABLE_VIRTUAL_TERMINAL_INPUT | ENABLE_WINDOW_INPUT)) {
      RaiseLastError("SetConsoleMode");
    }
    rawInput_ = true;
    if (outputIsConsole_ && GetConsoleMode(output_, &outputMode_)) {
      outputModeSaved_ = true;
      // Consoles older than Windows 10 lack these; the raw output then shows as text, which is all
      // they could do anyway.
      SetConsoleMode(output_, outputMode_ | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING |
                                  DISABLE_NEWLINE_AUTO_RETURN);
    }
  }

  std::size_t ReadInput(std::span<char> buffer) {
    for (;;) {
      if (!pendingInput_.empty()) {
        const std::size_t count = std::min(buffer.size(), pendingInput_.size());
        std::copy_n(pendingInput_.begin(), count, buffer.begin());
        pendingInput_.erase(0, count);
        return count;
      }
      if (cancel_.IsRaised()) return 0;
      if (inputIsConsole_) {
        if (!ReadConsoleKeys() || cancel_.IsRaised()) return 0;
      } else if (GetFileType(input_) == FILE_TYPE_PIPE) {
        DWORD available = 0;
        if (!PeekNamedPipe(input_, nullptr, 0, nullptr, &available, nullptr)) return 0;  // writer gone
        if (available == 0) {
          WaitForHandle(cancel_.handle(), nullptr, kPipePoll);
          continue;
        }
        return ReadBytes(buffer.first(std::min<std::size_t>(buffer.size(), available)));
      } else {
        return ReadBytes(buffer);
      }
    }
  }

  void CancelInput() {
    cancel_.Raise();
    // A line-mode ReadConsoleW waits for Enter whatever else happens; a synthetic Enter ends it, and
    // the line it completes is dropped by ReadInput.
    if (inputIsConsole_ && !rawInput_) {
      INPUT_RECORD enter[2]{};
      for (int i = 0; i < 2; ++i) {
        enter[i].EventType = KEY_EVENT;
        enter[i].Event.KeyEvent.bKeyDown = i == 0;
        enter[i].Event.KeyEvent.wRepeatCount = 1;
        enter[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
        enter[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
      }
      DWORD written = 0;
      WriteConsoleInputW(input_, enter, 2, &written);
    }
  }

  std::optional<WindowSize> OutputWindowSize() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!outputIsConsole_ || !GetConsoleScreenBufferInfo(output_, &info)) return std::nullopt;
    return WindowSize{info.srWindow.Right - info.srWindow.Left + 1,
                      info.srWindow.Bottom - info.srWindow.Top + 1};
  }

  bool WaitForWindowChange() { return WaitForHandle(windowChanged_.get(), &cancel_) == WaitOutcome::kReady; }

  void SaveWindowTitle() {
    std::lock_guard lock(endingMutex_);
    if (titleSaved_ || !outputIsConsole_) return;
    std::wstring title(1024, L'\0');
    const DWORD length = GetConsoleTitleW(title.data(), static_cast<DWORD>(title.size()));
    // An empty title cannot be told from a failure, and there is nothing to put back then.
    if (length == 0) return;
    title.resize(length);
    title_ = std::move(title);
    titleSaved_ = true;
  }

  void PutProgramModesBack() {
    std::lock_guard lock(outputMutex_);
    if (!std::exchange(programModesWatched_, false)) return;
    WriteConsoleText(
        output_, std::string(LeaveAlternateScreen(alternateScreen_.load())) + std::string(kProgramModesOff));
  }

  bool WriteOutput(std::string_view bytes) {
    std::lock_guard lock(outputMutex_);
    return outputIsConsole_ ? WriteConsoleText(output_, bytes) : WriteAll(output_, bytes);
  }
  bool WriteError(std::string_view bytes) {
    std::lock_guard lock(errorMutex_);
    return errorIsConsole_ ? WriteConsoleText(error_, bytes) : WriteAll(error_, bytes);
  }

  std::size_t ReadBytes(std::span<char> buffer) { return ReadOnce(input_, buffer).size; }

  // Waits for keys (or the cancel event) and moves the typed text into pendingInput_; false once
  // cancelled or failed. Events other than key presses (focus, mouse, resize) are dropped, so that
  // ReadConsoleW never waits with the input handle signalled; a resize is passed on to
  // WaitForWindowChange first.
  bool ReadConsoleKeys() {
    if (WaitForHandle(input_, &cancel_) != WaitOutcome::kReady) return false;
    DWORD events = 0;
    if (!GetNumberOfConsoleInputEvents(input_, &events) || events == 0) return true;
    std::vector<INPUT_RECORD> records(events);
    DWORD peeked = 0;
    if (!PeekConsoleInputW(input_, records.data(), events, &peeked)) return false;
    bool keys = false;
    for (DWORD i = 0; i < peeked; ++i) {
      const INPUT_RECORD& record = records[i];
      if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) SetEvent(windowChanged_.get());
      keys = keys || (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                      record.Event.KeyEvent.uChar.UnicodeChar != 0);
    }
    if (!keys) {
      DWORD dropped = 0;
      return ReadConsoleInputW(input_, records.data(), peeked, &dropped) != 0;
    }
    wchar_t text[512];
    DWORD count = 0;
    if (!ReadConsoleW(input_, text, 512, &count, nullptr)) return false;
    // A surrogate pair may be cut by the read; its first half waits for the second.
    std::u16string units = std::exchange(highSurrogate_, {});
    units.append(reinterpret_cast<const char16_t*>(text), count);
    if (!units.empty() && IsHighSurrogate(units.back())) {
      highSurrogate_ = units.back();
      units.pop_back();
    }
    pendingInput_ += ToUtf8(units);
    return true;
  }

  HANDLE input_;
  HANDLE output_;
  HANDLE error_;
  WakeSignal cancel_;
  UniqueHandle windowChanged_;
  bool inputIsConsole_ = false;
  bool outputIsConsole_ = false;
  bool errorIsConsole_ = false;
  DWORD inputMode_ = 0;
  DWORD outputMode_ = 0;
  bool inputModeSaved_ = false;
  bool outputModeSaved_ = false;
  bool rawInput_ = false;
  std::wstring title_;
  bool titleSaved_ = false;
  bool programModesWatched_ = false;  // under outputMutex_
  std::atomic<AlternateScreen> alternateScreen_{AlternateScreen::kOff};
  std::u16string highSurrogate_;
  std::string pendingInput_;  // only the reading thread touches it
  std::mutex outputMutex_;
  std::mutex errorMutex_;
  bool putBack_ = false;  // under endingMutex_
  // The console an ending event puts back; the process has one.
  static inline std::mutex endingMutex_;
  static inline State* ending_ = nullptr;
};

LocalConsole::LocalConsole() : state_(std::make_unique<State>()) {}
LocalConsole::~LocalConsole() = default;
bool LocalConsole::InputIsTerminal() const { return state_->InputIsTerminal(); }
bool LocalConsole::OutputIsTerminal() const { return state_->OutputIsTerminal(); }
void LocalConsole::EnterRawMode() { state_->EnterRawMode(); }
std::size_t LocalConsole::ReadInput(std::span<char> buffer) { return state_->ReadInput(buffer); }
void LocalConsole::CancelInput() { state_->CancelInput(); }
std::optional<WindowSize> LocalConsole::OutputWindowSize() const { return state_->OutputWindowSize(); }
bool LocalConsole::WaitForWindowChange() { return state_->WaitForWindowChange(); }
void LocalConsole::SaveWindowTitle() { state_->SaveWindowTitle(); }
void LocalConsole::RestoreProgramModesAtEnd() {
  if (!state_->outputIsConsole_) return;
  std::lock_guard lock(state_->outputMutex_);
  state_->programModesWatched_ = true;
}
void LocalConsole::NoteAlternateScreen(AlternateScreen screen) { state_->alternateScreen_.store(screen); }
void LocalConsole::PutProgramModesBack() { state_->PutProgramModesBack(); }
bool LocalConsole::WriteOutput(std::string_view bytes) { return state_->WriteOutput(bytes); }
bool LocalConsole::WriteError(std::string_view bytes) { return state_->WriteError(bytes); }

std::string DefaultHostPath() {
  std::wstring self(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  self.resize(length);
  const std::size_t slash = self.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1);
  return ToUtf8(folder) + "ssh-native-host.exe";
}

std::string DefaultShell() {
  wchar_t comspec[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ComSpec", comspec, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "C:\\Windows\\System32\\cmd.exe";
  return ToUtf8(std::u16string(comspec, comspec + length));
}

}  // namespace snh::client
