#include "client/TerminalModes.h"

#include <charconv>

namespace snh::client {
namespace {

// Longer parameters than any mode list a program sends are not followed (and not kept).
constexpr std::size_t kLongestParameters = 64;

}  // namespace

std::string_view LeaveAlternateScreen(AlternateScreen screen) {
  switch (screen) {
    case AlternateScreen::kOff:
      return {};
    case AlternateScreen::k47:
      return "\x1b[?47l";
    case AlternateScreen::k1047:
      return "\x1b[?1047l";
    case AlternateScreen::k1049:
      return "\x1b[?1049l";
  }
  return {};
}

bool AlternateScreenTracker::Feed(std::string_view output) {
  const AlternateScreen before = screen_;
  for (char c : output) {
    const auto byte = static_cast<unsigned char>(c);
    switch (scan_) {
      case Scan::kText:
        if (c == '\x1b') scan_ = Scan::kEscape;
        break;
      case Scan::kEscape:
        if (c == '[') {
          scan_ = Scan::kControlSequence;
          parameters_.clear();
          overlong_ = false;
        } else if (c != '\x1b') {
          scan_ = Scan::kText;
        }
        break;
      case Scan::kControlSequence:
        if (byte >= 0x20 && byte <= 0x3f) {
          if (parameters_.size() < kLongestParameters) {
            parameters_ += c;
          } else {
            overlong_ = true;
          }
        } else if (byte >= 0x40 && byte <= 0x7e) {
          if (!overlong_) Finish(c);
          scan_ = Scan::kText;
        } else if (c == '\x1b') {
          scan_ = Scan::kEscape;
        } else if (c == '\x18' || c == '\x1a') {
          scan_ = Scan::kText;  // CAN and SUB cancel the sequence
        }
        // Other control characters act within a sequence without ending it.
        break;
    }
  }
  return screen_ != before;
}

// "CSI ? Pm h" sets private modes, "CSI ? Pm l" resets them.
void AlternateScreenTracker::Finish(char final) {
  if ((final != 'h' && final != 'l') || !parameters_.starts_with('?')) return;
  std::string_view list = std::string_view(parameters_).substr(1);
  while (!list.empty()) {
    const std::size_t separator = list.find(';');
    const std::string_view item = list.substr(0, separator);
    list = separator == std::string_view::npos ? std::string_view() : list.substr(separator + 1);
    int mode = 0;
    const auto [stop, error] = std::from_chars(item.data(), item.data() + item.size(), mode);
    if (error != std::errc{} || stop != item.data() + item.size()) continue;
    AlternateScreen screen = AlternateScreen::kOff;
    if (mode == 47) screen = AlternateScreen::k47;
    if (mode == 1047) screen = AlternateScreen::k1047;
    if (mode == 1049) screen = AlternateScreen::k1049;
    if (screen != AlternateScreen::kOff) screen_ = final == 'h' ? screen : AlternateScreen::kOff;
  }
}

}  // namespace snh::client
