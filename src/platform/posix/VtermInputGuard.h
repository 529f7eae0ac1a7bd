#pragma once

// Client output on its way to libvterm (Debian's 0.1.4), made safe for it. libvterm loops forever on
// REP (CSI b) when it has no graphic character to repeat, and writes past a row's end when it repeats
// a double-width one; so a REP passes only after a character known to take one cell, and otherwise
// becomes an SGR (which changes no character) so that libvterm still sees the sequence end. Of the
// escapes with intermediates only character-set designations pass (libvterm writes out of bounds for
// others ending in a character set's letter, and crashes on a line-size escape after a resize); the
// rest become ST, which does nothing. Everything else passes in order, unchanged. The guard also gathers runs
// of carriage returns and line feeds outside any sequence, which the screen applies as one scroll instead of
// one scroll per line.
//
// Where the guard cannot be sure how libvterm reads a byte, it errs towards dropping a REP: a string
// (OSC, DCS, SOS, PM, APC) lasts until ESC, CAN or SUB (libvterm may end some at BEL), and text in it
// never counts as a character to repeat. A CSI is held back until its final byte; one longer than
// kMaxHeldSequence, or with more parameters than libvterm has room for, loses its parameters and ends
// as an SGR. No I/O; the state is kept from one call to the
// next.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace snh {

class VtermInputGuard {
 public:
  // Where the scanned input goes, in order.
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void Bytes(std::string_view bytes) = 0;
    // Carriage returns and line feeds only, with at least two line feeds.
    virtual void LineBreaks(std::string_view run) = 0;
  };

  static constexpr std::size_t kMaxHeldSequence = 256;

  void Scan(std::string_view input, Sink& sink);
  // Whether scrolling margins may have been set since the last call: libvterm keeps them through a
  // resize, and scrolls out of bounds with margins beyond the new edges.
  bool TakeMarginsSet() { return std::exchange(marginsSet_, false); }
  // Hands on a run of line breaks gathered so far (a run can continue into the next Scan).
  void Flush(Sink& sink);

 private:
  enum class State : std::uint8_t {
    kGround,
    kEscape,       // ESC (and any C0 controls inside), held back
    kEscapeFinal,  // ESC and intermediates: its final byte ends it
    kCsi,          // ESC [ and what follows, held back until the final byte
    kCsiDropped,   // a CSI over kMaxHeldSequence: dropped until its final byte
    kString,       // the body of a string sequence, passed on
  };

  void Ground(unsigned char byte, Sink& sink);
  void Text(unsigned char byte);
  void EndRun(Sink& sink);
  void BeginEscape();
  void PassHeld();

  State state_ = State::kGround;
  std::string held_;       // the escape or CSI held back
  int csiSeparators_ = 0;  // parameter separators of the CSI held back
  std::string run_;        // carriage returns and line feeds not yet handed on
  std::size_t runLineFeeds_ = 0;
  std::string pass_;  // bytes gathered for one Bytes call
  // Whether libvterm certainly has a one-cell character to repeat.
  bool repeatable_ = false;
  bool marginsSet_ = false;
  // The UTF-8 sequence being read in text.
  char32_t codePoint_ = 0;
  int continuationBytes_ = 0;
};

// Whether libvterm surely draws `character` in exactly one cell: printable ASCII and the common
// alphabetic, punctuation, arrow, mathematical and box-drawing blocks that have no combining or wide
// characters.
bool IsNarrowForCertain(char32_t character);

}  // namespace snh
