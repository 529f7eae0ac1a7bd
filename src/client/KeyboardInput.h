#pragma once

// Turns what the user types (or pipes in) into the text of `stdin` requests: characters are kept whole
// across reads, Ctrl-] on a terminal ends the session, and piped line ends can be sent as Enter.

#include <string>
#include <string_view>

namespace snh::client {

// Ctrl-], as telnet and ssh's escape: a key no shell or editor binds by default.
inline constexpr char kDetachKey = '\x1d';

struct KeyboardChunk {
  std::string text;     // whole UTF-8 characters to send; may be empty
  bool detach = false;  // Ctrl-] was pressed: `text` holds what came before it
};

struct KeyboardOptions {
  bool detachKey = false;         // the input is a terminal, where Ctrl-] means "end"
  bool lineEndsAsReturn = false;  // "\n" and "\r\n" become "\r", the Enter key of a terminal
};

class KeyboardInput {
 public:
  explicit KeyboardInput(KeyboardOptions options) : options_(options) {}

  KeyboardChunk Feed(std::string_view bytes);
  // At end of input: a character cut short is sent as it is (it becomes U+FFFD on the way).
  std::string Finish();

 private:
  std::string Translate(std::string_view bytes);

  KeyboardOptions options_;
  std::string pending_;  // the start of a character whose remaining bytes have not arrived
  bool lastWasReturn_ = false;
};

// The request that carries `text`; invalid UTF-8 becomes U+FFFD so the frame is always valid JSON.
std::string StdinRequest(std::string_view text);

}  // namespace snh::client
