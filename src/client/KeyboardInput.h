#pragma once

// Turns what the user types (or pipes in) into the text of `stdin` requests: characters are kept whole
// across reads, ssh's escape (a chosen character at the start of a line, then `.`) ends the session,
// and piped line ends can be sent as Enter and the end of piped input as Ctrl-D.

#include <optional>
#include <string>
#include <string_view>

namespace snh::client {

// Ctrl-D, a terminal's end-of-file character.
inline constexpr char kEndOfFileKey = '\x04';

struct KeyboardChunk {
  std::string text;  // whole UTF-8 characters to send; may be empty
  bool end = false;  // the escape then `.` was typed: `text` holds what came before it
};

struct KeyboardOptions {
  // Recognised only at the start of a line: then `.` ends, itself again sends one, anything else
  // sends both. An ASCII character, so it is never part of a longer UTF-8 one.
  std::optional<char> escapeCharacter;
  bool lineEndsAsReturn = false;  // "\n" and "\r\n" become "\r", the Enter key of a terminal
  bool endWithEndOfFile = false;  // the end of input is typed as Ctrl-D, for a program on a terminal
};

class KeyboardInput {
 public:
  explicit KeyboardInput(KeyboardOptions options) : options_(options) {}

  KeyboardChunk Feed(std::string_view bytes);
  // At end of input: a character cut short is sent as it is (it becomes U+FFFD on the way), so is an
  // escape character still waiting for its key, then Ctrl-D when asked: twice after an unfinished
  // line, since the first only hands the line over.
  std::string Finish();

 private:
  // Takes the escapes out of `bytes`; sets `end` at `~.`, dropping what follows.
  std::string Unescape(std::string_view bytes, bool& end);
  std::string Translate(std::string_view bytes);

  KeyboardOptions options_;
  std::string pending_;  // the start of a character whose remaining bytes have not arrived
  bool lastWasReturn_ = false;
  bool lineOpen_ = false;     // text sent since the last line end
  bool atLineStart_ = true;   // what is typed next starts a line, for the escape
  bool escapeTyped_ = false;  // the escape character, waiting for the key after it
};

// The request that carries `text`; invalid UTF-8 becomes U+FFFD so the frame is always valid JSON.
std::string StdinRequest(std::string_view text);

}  // namespace snh::client
