#pragma once

// Writing JSON text for the outgoing messages. Every chunk of client output passes through here, and
// a general JSON library's serializer (a UTF-8 decoder per byte) cost more than the rest of the relay
// together, so the few shapes the host sends are written directly.

#include <cstdint>
#include <string>
#include <string_view>

namespace snh {

// Appends `text`, which must be valid UTF-8 without NUL, as a JSON string: quotes, backslash and
// control bytes are escaped (\b \t \n \f \r, else \u00xx), every other byte is copied.
void AppendJsonString(std::string& out, std::string_view text);

// The same for any text: it ends at its first NUL, and each ill-formed UTF-8 sequence becomes U+FFFD,
// exactly as SanitizeUtf8 would make it. Mostly-ASCII text, the usual client output, is written fastest.
void AppendJsonText(std::string& out, std::string_view text);

void AppendJsonInteger(std::string& out, std::int64_t value);

// A text from outside (a request type, a program name) as one bounded, quoted, escaped JSON string for
// the diagnostic log, so that no text can forge a line or grow the log without bound.
std::string LoggedText(std::string_view text);

}  // namespace snh
