#include "codec/JsonModule.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "codec/DecodeError.h"
#include "codec/Utf.h"

namespace snh {

namespace {

using Json = nlohmann::json;
// Keeps keys in insertion order, so "type" leads every outgoing message.
using OrderedJson = nlohmann::ordered_json;

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

OrderedJson TextValue(const std::string& text) { return SanitizeUtf8(text); }

OrderedJson CoordValue(Coord coord) {
  OrderedJson value = OrderedJson::object();
  value["x"] = coord.x;
  value["y"] = coord.y;
  return value;
}

OrderedJson ConsoleOutputValue(const ConsoleOutput& output) {
  OrderedJson value = OrderedJson::object();
  value["consoleSize"] = CoordValue(output.consoleSize);
  value["startPosition"] = CoordValue(output.startPosition);
  value["endPosition"] = CoordValue(output.endPosition);
  value["characterContent"] = TextValue(output.characterContent);
  return value;
}

OrderedJson PseudoConsoleOutputValue(const PseudoConsoleOutput& output) {
  OrderedJson value = OrderedJson::object();
  value["rawContent"] = TextValue(output.rawContent);
  value["processedContent"] = TextValue(output.processedContent);
  if (output.windowTitle) value["windowTitle"] = TextValue(*output.windowTitle);
  return value;
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
  OrderedJson message = OrderedJson::object();
  message["type"] = TextValue(response.type);
  if (response.version) message["version"] = TextValue(*response.version);
  if (response.error) message["error"] = TextValue(*response.error);
  if (response.outputLine) message["outputLine"] = TextValue(*response.outputLine);
  if (response.consoleOutput) message["consoleOutput"] = ConsoleOutputValue(*response.consoleOutput);
  if (response.pseudoConsoleOutput) {
    message["pseudoConsoleOutput"] = PseudoConsoleOutputValue(*response.pseudoConsoleOutput);
  }
  // Strings are already valid UTF-8; the replace handler only guards against a byte that slipped by.
  return message.dump(/*indent=*/-1, /*indent_char=*/' ', /*ensure_ascii=*/false,
                      OrderedJson::error_handler_t::replace);
}

JsonModule::JsonModule(OutputSink& output) : output_(output) {}

void JsonModule::WriteMessage(const Response& response) {
  const std::lock_guard lock(outputMutex_);
  const std::string body = SerializeResponse(response);
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string frame;
  frame.reserve(sizeof length + body.size());
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((length >> shift) & 0xFF));
  frame += body;
  // One write per frame: the length never reaches the reader without its body. A failed write has no
  // one to be reported to; the message is lost.
  static_cast<void>(output_.Write(frame));
}

}  // namespace snh
