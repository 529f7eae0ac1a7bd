#pragma once

// Turns what the user types (or pipes in) into the text of `stdin` requests: characters are kept whole
// across reads, Ctrl-] on a terminal ends the session, and piped line ends can be sent as Enter and
// the end of piped input as Ctrl-D.

#include <string>
#include <string_view>

namespace snh::client {

// Ctrl-], as telnet and ssh's escape: a key no shell or editor binds by default.
inline constexpr char kDetachKey = '\x1d';
// Ctrl-D, a terminal's end-of-file character.
inline constexpr char kEndOfFileKey = '\x04';

struct KeyboardChunk {
  std::string text;     // whole UTF-8 characters to send; may be empty
  bool detach = false;  // Ctrl-] was pressed: `text` holds what came before it
};

struct KeyboardOptions {
  bool detachKey = false;         // the input is a terminal, where Ctrl-] means "end"
  bool lineEndsAsReturn = false;  // "\n" and "\r\n" become "\r", the Enter key of a terminal
  bool endWithEndOfFile = false;  // the end of input is typed as Ctrl-D, for a program on a terminal
};

class KeyboardInput {
 public:
  explicit KeyboardInput(KeyboardOptions options) : options_(options) {}

  KeyboardChunk Feed(std::string_view bytes);
  // At end of input: a character cut short is sent as it is (it becomes U+FFFD on the way), then
  // Ctrl-D when asked: twice after an unfinished line, since the first only hands the line over.
  std::string Finish();

 private:
  std::string Translate(std::string_view bytes);

  KeyboardOptions options_;
  std::string pending_;  // the start of a character whose remaining bytes have not arrived
  bool lastWasReturn_ = false;
  bool lineOpen_ = false;  // text sent since the last line end
};

// The request that carries `text`; invalid UTF-8 becomes U+FFFD so the frame is always valid JSON.
std::string StdinRequest(std::string_view text);

}  // namespace snh::client
