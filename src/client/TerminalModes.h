#pragma once

// What a program's raw output may leave switched on in the user's terminal, and the bytes that switch
// it off. Mouse tracking, bracketed paste and a hidden cursor are always safe to switch off; the
// alternate screen is followed, since leaving it while not in it restores a cursor never saved (the
// cursor jumps to the top on some terminals). Pure: bytes in, state out; sequences cut between reads
// are still seen.

#include <cstddef>
#include <string>
#include <string_view>

namespace snh::client {

// Which of xterm's private modes put the terminal on its alternate screen.
enum class AlternateScreen { kOff, k47, k1047, k1049 };

// CAN first, so that a sequence of the program's cut short by the end does not swallow ours.
inline constexpr std::string_view kProgramModesOff =
    "\x18\x1b[?1000l\x1b[?1002l\x1b[?1003l\x1b[?1005l\x1b[?1006l\x1b[?1015l\x1b[?2004l\x1b[?25h";

// The main screen again; empty when on it. Static storage, so a signal handler may write it.
std::string_view LeaveAlternateScreen(AlternateScreen screen);

class AlternateScreenTracker {
 public:
  // True when the screen changed within `output`.
  bool Feed(std::string_view output);
  AlternateScreen Screen() const { return screen_; }

 private:
  void Finish(char final);

  enum class Scan { kText, kEscape, kControlSequence };
  Scan scan_ = Scan::kText;
  std::string parameters_;  // of the control sequence being read, bounded
  bool overlong_ = false;
  AlternateScreen screen_ = AlternateScreen::kOff;
};

}  // namespace snh::client
