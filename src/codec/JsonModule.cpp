#include "codec/JsonModule.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "codec/DecodeError.h"
#include "codec/JsonText.h"
#include "codec/Utf.h"

namespace snh {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kUnicodeEscapeLength = 6;  // \uXXXX

constexpr bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code unit of the \uXXXX escape at `at`, if one is there.
std::optional<unsigned> UnicodeEscapeAt(std::string_view text, std::size_t at) {
  if (at + kUnicodeEscapeLength > text.size() || text[at] != '\\' || text[at + 1] != 'u') return std::nullopt;
  const char* digits = text.data() + at + 2;
  unsigned unit = 0;
  const auto [end, error] = std::from_chars(digits, digits + 4, unit, 16);
  if (error != std::errc{} || end != digits + 4) return std::nullopt;
  return unit;
}

// nlohmann rejects an escaped surrogate that is not part of a pair; the platform's JSON classes accept
// it, and its conversion to UTF-8 then gives U+FFFD. Rewriting such escapes as \ufffd (same length, in
// place) gives the same result here.
void ReplaceLoneSurrogateEscapes(std::string& text) {
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      inString = !inString;
      continue;
    }
    if (!inString || text[i] != '\\') continue;
    const std::optional<unsigned> unit = UnicodeEscapeAt(text, i);
    if (!unit) {
      ++i;  // a one-character escape such as \" or \\: skip the escaped character
      continue;
    }
    if (IsHighSurrogate(*unit)) {
      const std::optional<unsigned> next = UnicodeEscapeAt(text, i + kUnicodeEscapeLength);
      if (next && IsLowSurrogate(*next)) {
        i += 2 * kUnicodeEscapeLength - 1;
        continue;
      }
    }
    if (IsHighSurrogate(*unit) || IsLowSurrogate(*unit)) text.replace(i + 2, 4, "fffd");
    i += kUnicodeEscapeLength - 1;
  }
}

struct NestingTooDeep {};

// The text as one JSON object. Up to its first NUL, with ill-formed UTF-8 replaced, as the platform's
// UTF-16 conversion would leave it.
Json ParseObject(std::string_view text) {
  std::string sanitized = SanitizeUtf8(text);
  ReplaceLoneSurrogateEscapes(sanitized);
  // nlohmann parses without recursion, but a hostile request could still make it build a tree of
  // millions of levels; the callback stops at the first container past the bound.
  const Json::parser_callback_t limitNesting = [](int depth, Json::parse_event_t event, Json&) {
    const bool opensContainer =
        event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start;
    if (opensContainer && depth >= kMaxRequestNestingDepth) throw NestingTooDeep{};
    return true;
  };
  Json parsed;
  try {
    parsed = Json::parse(sanitized, limitNesting, /*allow_exceptions=*/false);
  } catch (const NestingTooDeep&) {
    throw DecodeError(DecodeError::kFail);
  }
  // A text that does not parse comes back discarded, which is not an object either.
  if (!parsed.is_object()) throw DecodeError(DecodeError::kFail);
  return parsed;
}

// Reads in the manner of the platform's JSON classes: a missing key and a value of another type
// (null included) fail with their own codes. Strings are moved out of the parsed tree.

bool HasKey(const Json& object, const char* key) { return object.contains(key); }

Json& Member(Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) throw DecodeError(DecodeError::kValueNotFound);
  return *found;
}

std::string TakeString(Json& value) {
  if (!value.is_string()) throw DecodeError(DecodeError::kWrongType);
  auto& text = value.get_ref<std::string&>();
  // An escaped U+0000 ends the string, as it ends the platform's string buffer.
  if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return std::move(text);
}

std::string GetNamedString(Json& object, const char* key) { return TakeString(Member(object, key)); }

double GetNamedNumber(Json& object, const char* key) {
  const Json& value = Member(object, key);
  if (!value.is_number()) throw DecodeError(DecodeError::kWrongType);
  return value.get<double>();
}

Json& GetNamedObject(Json& object, const char* key) {
  Json& value = Member(object, key);
  if (!value.is_object()) throw DecodeError(DecodeError::kWrongType);
  return value;
}

Json& GetNamedArray(Json& object, const char* key) {
  Json& value = Member(object, key);
  if (!value.is_array()) throw DecodeError(DecodeError::kWrongType);
  return value;
}

// Truncates toward zero to 32 bits, where an out-of-range value gives INT32_MIN as the x86 conversion
// does, and keeps the low 16 bits.
std::int16_t NarrowToCoordinate(double number) {
  const bool fits = number > -2147483649.0 && number < 2147483648.0;
  const std::int32_t wide =
      fits ? static_cast<std::int32_t>(number) : std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int16_t>(wide);
}

ConnectParams DecodeConnectParams(Json& params) {
  // "arguments" is looked up before "fileName", so a request that lacks both fails on "arguments".
  Json& arguments = GetNamedArray(params, "arguments");
  ConnectParams decoded;
  decoded.fileName = GetNamedString(params, "fileName");
  decoded.arguments.reserve(arguments.size());
  for (Json& argument : arguments) decoded.arguments.push_back(TakeString(argument));

  if (HasKey(params, "extensionVersion"))
    decoded.extensionVersion = GetNamedString(params, "extensionVersion");
  if (HasKey(params, "mode")) decoded.mode = GetNamedString(params, "mode");
  if (HasKey(params, "consoleSize")) {
    Json& size = GetNamedObject(params, "consoleSize");
    Coord coord;
    coord.x = NarrowToCoordinate(GetNamedNumber(size, "x"));
    coord.y = NarrowToCoordinate(GetNamedNumber(size, "y"));
    decoded.consoleSize = coord;
  }
  if (HasKey(params, "pollingIntervalInSeconds")) {
    decoded.pollingIntervalInSeconds = GetNamedNumber(params, "pollingIntervalInSeconds");
  }
  return decoded;
}

// Writes `,"key":` (or `{"key":` for the first member of an object).
void AppendKey(std::string& out, std::string_view key, bool first = false) {
  out += first ? '{' : ',';
  AppendJsonString(out, key);
  out += ':';
}

void AppendText(std::string& out, std::string_view key, const std::string& text, bool first = false) {
  AppendKey(out, key, first);
  AppendJsonString(out, SanitizeUtf8(text));
}

void AppendCoord(std::string& out, std::string_view key, Coord coord, bool first = false) {
  AppendKey(out, key, first);
  out += "{\"x\":";
  AppendJsonInteger(out, coord.x);
  out += ",\"y\":";
  AppendJsonInteger(out, coord.y);
  out += '}';
}

std::size_t Size(const std::optional<std::string>& text) { return text ? text->size() : 0; }

std::size_t TextBytes(const Response& response) {
  std::size_t bytes =
      response.type.size() + Size(response.version) + Size(response.error) + Size(response.outputLine);
  if (response.consoleOutput) bytes += response.consoleOutput->characterContent.size();
  if (const auto& output = response.pseudoConsoleOutput) {
    bytes += output->rawContent.size() + output->processedContent.size() + Size(output->windowTitle);
  }
  return bytes;
}

// The message's JSON text, "type" first and the other members in their fixed order.
void AppendResponse(std::string& out, const Response& response) {
  AppendText(out, "type", response.type, /*first=*/true);
  if (response.version) AppendText(out, "version", *response.version);
  if (response.error) AppendText(out, "error", *response.error);
  if (response.outputLine) AppendText(out, "outputLine", *response.outputLine);
  if (const auto& console = response.consoleOutput) {
    AppendKey(out, "consoleOutput");
    AppendCoord(out, "consoleSize", console->consoleSize, /*first=*/true);
    AppendCoord(out, "startPosition", console->startPosition);
    AppendCoord(out, "endPosition", console->endPosition);
    AppendText(out, "characterContent", console->characterContent);
    out += '}';
  }
  if (const auto& pseudoConsole = response.pseudoConsoleOutput) {
    AppendKey(out, "pseudoConsoleOutput");
    AppendText(out, "rawContent", pseudoConsole->rawContent, /*first=*/true);
    AppendText(out, "processedContent", pseudoConsole->processedContent);
    if (pseudoConsole->windowTitle) AppendText(out, "windowTitle", *pseudoConsole->windowTitle);
    out += '}';
  }
  out += '}';
}

}  // namespace

Request ParseRequest(std::string_view text) {
  Json root = ParseObject(text);
  Request request;
  request.type = GetNamedString(root, "type");
  if (HasKey(root, "connectParams"))
    request.connectParams = DecodeConnectParams(GetNamedObject(root, "connectParams"));
  if (HasKey(root, "input")) request.input = GetNamedString(root, "input");
  return request;
}

std::string SerializeResponse(const Response& response) {
  std::string text;
  AppendResponse(text, response);
  return text;
}

JsonModule::JsonModule(OutputSink& output) : output_(output) {}

void JsonModule::WriteMessage(const Response& response) {
  const std::lock_guard lock(outputMutex_);
  // The text is written behind room for its length, so the frame is built without a copy.
  std::string frame(4, '\0');
  // Room for the keys and a few escapes, so the text is not moved while it grows.
  frame.reserve(256 + TextBytes(response) * 9 / 8);
  AppendResponse(frame, response);
  const auto length = static_cast<std::uint32_t>(frame.size() - 4);
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  // One write per frame: the length never reaches the reader without its body. A failed write has no
  // one to be reported to; the message is lost.
  static_cast<void>(output_.Write(frame));
}

}  // namespace snh
