#include "platform/posix/VtermInputGuard.h"

namespace snh {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kCancel = 0x18;      // CAN
constexpr unsigned char kSubstitute = 0x1A;  // SUB
// libvterm keeps 16 parameters of a CSI and writes a 17th past them.
constexpr int kMostCsiSeparators = 16;
// The final byte of a CSI that must not act: SGR changes colours only.
constexpr char kHarmlessFinal = 'm';
// Longer runs are handed on as they are, so that a caller that never flushes holds no more.
constexpr std::size_t kLongestRun = 64 * 1024;

constexpr bool IsCancel(unsigned char byte) { return byte == kCancel || byte == kSubstitute; }
constexpr bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }
constexpr bool IsCsiFinal(unsigned char byte) { return byte >= 0x40 && byte <= 0x7E; }
constexpr bool IsIntermediate(unsigned char byte) { return byte >= 0x20 && byte <= 0x2F; }
constexpr bool StartsString(unsigned char byte) {
  return byte == ']' || byte == 'P' || byte == 'X' || byte == '^' || byte == '_';
}

// ESC ( F, ESC ) F, ESC * F or ESC + F (C0 controls may stand between): G0 to G3's character set.
bool DesignatesCharacterSet(std::string_view held) {
  int intermediates = 0;
  bool designator = false;
  for (const char raw : held) {
    const auto byte = static_cast<unsigned char>(raw);
    if (!IsIntermediate(byte)) continue;
    ++intermediates;
    designator = byte >= '(' && byte <= '+';
  }
  return intermediates == 1 && designator;
}

}  // namespace

bool IsNarrowForCertain(char32_t c) {
  struct Range {
    char32_t first;
    char32_t last;
  };
  // Blocks with neither combining nor wide characters in any Unicode version libvterm knows.
  static constexpr Range kNarrow[] = {
      {0x20, 0x7E},     {0xA0, 0xAC},     {0xAE, 0x2FF},    {0x370, 0x3FF},   {0x400, 0x482},
      {0x2010, 0x2027}, {0x2030, 0x205E}, {0x20A0, 0x20BF}, {0x2190, 0x22FF}, {0x2500, 0x259F},
  };
  for (const Range& range : kNarrow) {
    if (c >= range.first && c <= range.last) return true;
  }
  return false;
}

void VtermInputGuard::Scan(std::string_view input, Sink& sink) {
  for (const char raw : input) {
    const auto byte = static_cast<unsigned char>(raw);
    switch (state_) {
      case State::kGround:
        Ground(byte, sink);
        break;

      case State::kEscape:
      case State::kEscapeFinal:
        if (byte == kEsc) {
          PassHeld();
          BeginEscape();
          break;
        }
        held_.push_back(static_cast<char>(byte));
        if (IsCancel(byte)) {
          PassHeld();
          state_ = State::kGround;
        } else if (IsControl(byte) || byte >= 0x80) {
          // libvterm carries out a control inside a sequence and goes on with the sequence; it passes
          // over a byte that is not 7-bit (ESC 0xC1 [ 5 b repeats).
        } else if (byte == '[') {
          // libvterm starts a CSI here even after intermediates (ESC / [ 5 b repeats).
          state_ = State::kCsi;
          csiSeparators_ = 0;
        } else if (StartsString(byte)) {
          PassHeld();
          state_ = State::kString;
        } else if (IsIntermediate(byte)) {
          state_ = State::kEscapeFinal;
        } else {
          if (state_ == State::kEscape && byte == 'c') repeatable_ = false;  // a full reset
          if (state_ == State::kEscapeFinal && !DesignatesCharacterSet(held_)) {
            // libvterm takes the byte before the final as a character set's number whatever it is (a
            // write out of bounds), and after a resize it crashes on the line-size ones (ESC # 8, then
            // ESC # 6): only character sets pass. ST ends the sequence and does nothing else.
            held_.assign("\x1b\\");
          }
          PassHeld();
          state_ = State::kGround;
        }
        break;

      case State::kCsi:
        if (byte == kEsc) {
          PassHeld();  // libvterm abandons the sequence
          BeginEscape();
        } else if (IsCsiFinal(byte)) {
          // DECSTR (CSI ! p) resets libvterm's state, the character to repeat with it.
          const bool softReset = byte == 'p' && held_.find('!') != std::string::npos;
          // Scrolling margins: DECSTBM, DECSLRM, and the mode that enables the second.
          if (byte == 'r' || byte == 's' || (byte == 'h' && held_.find("69") != std::string::npos)) {
            marginsSet_ = true;
          }
          // A REP that cannot pass still ends the sequence (with its ESC, which may end one before it),
          // as an SGR, which changes no character.
          held_.push_back(static_cast<char>(byte == 'b' && !repeatable_ ? kHarmlessFinal : byte));
          PassHeld();
          if (softReset) repeatable_ = false;
          state_ = State::kGround;
        } else {
          held_.push_back(static_cast<char>(byte));
          if (IsCancel(byte)) {
            PassHeld();
            state_ = State::kGround;
          } else if (held_.size() > kMaxHeldSequence ||
                     ((byte == ';' || byte == ':') && ++csiSeparators_ >= kMostCsiSeparators)) {
            // ESC [ passes: its ESC may end the sequence before it.
            held_.assign("\x1b[");
            PassHeld();
            state_ = State::kCsiDropped;
          }
        }
        break;

      case State::kCsiDropped:
        if (byte == kEsc) {
          BeginEscape();
        } else if (IsCsiFinal(byte) || IsCancel(byte)) {
          pass_.push_back(static_cast<char>(IsCancel(byte) ? byte : kHarmlessFinal));
          state_ = State::kGround;
        }
        break;

      case State::kString:
        if (byte == kEsc) {
          BeginEscape();
          break;
        }
        pass_.push_back(static_cast<char>(byte));
        if (IsCancel(byte)) state_ = State::kGround;
        break;
    }
  }
  if (!pass_.empty()) {
    sink.Bytes(pass_);
    pass_.clear();
  }
}

void VtermInputGuard::Flush(Sink& sink) {
  EndRun(sink);
  if (!pass_.empty()) {
    sink.Bytes(pass_);
    pass_.clear();
  }
}

void VtermInputGuard::Ground(unsigned char byte, Sink& sink) {
  if (byte == '\r' || byte == '\n') {
    if (continuationBytes_ != 0) {
      continuationBytes_ = 0;
      repeatable_ = false;
    }
    run_.push_back(static_cast<char>(byte));
    if (byte == '\n') ++runLineFeeds_;
    if (run_.size() >= kLongestRun) EndRun(sink);
    return;
  }
  if (!run_.empty()) EndRun(sink);
  if (byte == kEsc || IsControl(byte)) {
    // A control cuts a character short; what libvterm makes of the rest is not certain.
    if (continuationBytes_ != 0) {
      continuationBytes_ = 0;
      repeatable_ = false;
    }
    if (byte == kEsc) {
      BeginEscape();
      return;
    }
  } else {
    Text(byte);
  }
  pass_.push_back(static_cast<char>(byte));
}

void VtermInputGuard::Text(unsigned char byte) {
  if (byte < 0x80) {
    continuationBytes_ = 0;
    repeatable_ = true;
  } else if (byte < 0xC0) {
    if (continuationBytes_ == 0) {
      repeatable_ = false;
      return;
    }
    codePoint_ = (codePoint_ << 6) | (byte & 0x3F);
    if (--continuationBytes_ == 0) repeatable_ = IsNarrowForCertain(codePoint_);
  } else {
    repeatable_ = false;
    continuationBytes_ = byte >= 0xF8 ? 0 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : 1;
    codePoint_ = byte & (0x3F >> continuationBytes_);
  }
}

void VtermInputGuard::EndRun(Sink& sink) {
  if (run_.empty()) return;
  if (runLineFeeds_ >= 2) {
    if (!pass_.empty()) {
      sink.Bytes(pass_);
      pass_.clear();
    }
    sink.LineBreaks(run_);
  } else {
    pass_ += run_;
  }
  run_.clear();
  runLineFeeds_ = 0;
}

void VtermInputGuard::BeginEscape() {
  held_.assign(1, static_cast<char>(kEsc));
  state_ = State::kEscape;
}

void VtermInputGuard::PassHeld() {
  pass_ += held_;
  held_.clear();
}

}  // namespace snh
