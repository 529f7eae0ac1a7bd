// DecodeRequest: one pass over the text, as it is read, with RapidJSON's event parser, keeping only the
// members a Request holds. Neither the text nor a document is held, so the time follows the text's size
// whatever its shape, and the memory is the kept strings plus the one string being decoded.

#include <rapidjson/reader.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/DecodeError.h"
#include "codec/JsonModule.h"
#include "codec/RequestStream.h"

namespace snh {

namespace {

// A member as the last of its duplicates left it (the last one wins, as in the platform's JSON object):
// missing, present with another JSON type (null included), or present with a value.
template <typename Value>
class Member {
 public:
  bool Present() const { return present_; }
  void SetWrongType() {
    present_ = true;
    value_.reset();
  }
  Value& Set(Value value = {}) {
    present_ = true;
    return value_.emplace(std::move(value));
  }
  // Read in the manner of the platform's JSON classes: a missing member and one of another type fail
  // with their own codes.
  Value Take() {
    if (!present_) throw DecodeError(DecodeError::kValueNotFound);
    if (!value_) throw DecodeError(DecodeError::kWrongType);
    return std::move(*value_);
  }
  // The value, or nothing where Take would fail.
  const std::optional<Value>& Peek() const { return value_; }

 private:
  bool present_ = false;
  std::optional<Value> value_;
};

struct Arguments {
  std::vector<std::string> strings;
  bool allStrings = true;
};

struct SizeMembers {
  Member<double> x;
  Member<double> y;
};

struct ParamsMembers {
  Member<Arguments> arguments;
  Member<std::string> fileName;
  Member<std::string> extensionVersion;
  Member<std::string> mode;
  Member<SizeMembers> consoleSize;
  Member<double> pollingIntervalInSeconds;
  Member<double> maxOutputBytes;
  Member<bool> omitProcessedContent;
};

struct RequestMembers {
  Member<std::string> type;
  Member<ParamsMembers> connectParams;
  Member<std::string> input;
  Member<SizeMembers> consoleSize;  // resize's
};

// Where the value being read goes.
enum class Slot {
  kIgnored,
  kRoot,
  kType,
  kConnectParams,
  kInput,
  kArguments,
  kArgument,
  kFileName,
  kExtensionVersion,
  kMode,
  kConsoleSize,
  kRequestConsoleSize,
  kPollingInterval,
  kMaxOutputBytes,
  kOmitProcessedContent,
  kX,
  kY,
};

// The containers whose members are kept.
enum class Scope { kRequest, kConnectParams, kArguments, kConsoleSize };

// Collects the kept members from the parser's events. Containers nobody reads are only counted.
class RequestHandler {
 public:
  explicit RequestHandler(const RequestStream& text) : text_(text) {}
  RequestMembers& members() { return members_; }

  bool Null() { return Other(); }
  bool Bool(bool value);
  // Every number reaches the parser as a "0" standing for the value the stream read.
  bool Int(int) { return Number(text_.Number()); }
  bool Uint(unsigned) { return Number(text_.Number()); }
  bool Int64(std::int64_t) { return Number(text_.Number()); }
  bool Uint64(std::uint64_t) { return Number(text_.Number()); }
  bool Double(double) { return Number(text_.Number()); }
  bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }  // never asked for
  bool String(const char* value, rapidjson::SizeType length, bool) { return Text({value, length}); }
  bool StartObject() { return Open(/*isObject=*/true); }
  bool Key(const char* name, rapidjson::SizeType length, bool) { return Name({name, length}); }
  bool EndObject(rapidjson::SizeType) { return Close(); }
  bool StartArray() { return Open(/*isObject=*/false); }
  bool EndArray(rapidjson::SizeType) { return Close(); }

 private:
  Slot NextSlot() const;
  Member<std::string>* StringMember(Slot slot);
  Member<double>* NumberMember(Slot slot);
  // A value of another type than its slot reads, or one nobody reads.
  bool Other();
  bool Number(double value);
  bool Text(std::string_view value);
  bool Name(std::string_view name);
  bool Open(bool isObject);
  bool Close();

  const RequestStream& text_;
  RequestMembers members_;
  // The containers being filled; each is valid while its scope is open.
  ParamsMembers* params_ = nullptr;
  Arguments* arguments_ = nullptr;
  SizeMembers* size_ = nullptr;
  std::vector<Scope> scopes_;  // at most three deep
  int depth_ = 0;              // every open container
  int ignoredDepth_ = 0;       // open containers inside one nobody reads, or that one itself
  Slot keySlot_ = Slot::kIgnored;
};

Slot RequestHandler::NextSlot() const {
  if (ignoredDepth_ > 0) return Slot::kIgnored;
  if (scopes_.empty()) return Slot::kRoot;
  return scopes_.back() == Scope::kArguments ? Slot::kArgument : keySlot_;
}

bool RequestHandler::Name(std::string_view name) {
  if (ignoredDepth_ > 0) return true;
  keySlot_ = Slot::kIgnored;
  switch (scopes_.back()) {
    case Scope::kRequest:
      if (name == "type") keySlot_ = Slot::kType;
      if (name == "connectParams") keySlot_ = Slot::kConnectParams;
      if (name == "input") keySlot_ = Slot::kInput;
      if (name == "consoleSize") keySlot_ = Slot::kRequestConsoleSize;
      break;
    case Scope::kConnectParams:
      if (name == "arguments") keySlot_ = Slot::kArguments;
      if (name == "fileName") keySlot_ = Slot::kFileName;
      if (name == "extensionVersion") keySlot_ = Slot::kExtensionVersion;
      if (name == "mode") keySlot_ = Slot::kMode;
      if (name == "consoleSize") keySlot_ = Slot::kConsoleSize;
      if (name == "pollingIntervalInSeconds") keySlot_ = Slot::kPollingInterval;
      if (name == "maxOutputBytes") keySlot_ = Slot::kMaxOutputBytes;
      if (name == "omitProcessedContent") keySlot_ = Slot::kOmitProcessedContent;
      break;
    case Scope::kConsoleSize:
      if (name == "x") keySlot_ = Slot::kX;
      if (name == "y") keySlot_ = Slot::kY;
      break;
    case Scope::kArguments:
      break;
  }
  return true;
}

Member<std::string>* RequestHandler::StringMember(Slot slot) {
  switch (slot) {
    case Slot::kType:
      return &members_.type;
    case Slot::kInput:
      return &members_.input;
    case Slot::kFileName:
      return &params_->fileName;
    case Slot::kExtensionVersion:
      return &params_->extensionVersion;
    case Slot::kMode:
      return &params_->mode;
    default:
      return nullptr;
  }
}

Member<double>* RequestHandler::NumberMember(Slot slot) {
  switch (slot) {
    case Slot::kPollingInterval:
      return &params_->pollingIntervalInSeconds;
    case Slot::kMaxOutputBytes:
      return &params_->maxOutputBytes;
    case Slot::kX:
      return &size_->x;
    case Slot::kY:
      return &size_->y;
    default:
      return nullptr;
  }
}

bool RequestHandler::Other() {
  switch (const Slot slot = NextSlot()) {
    case Slot::kIgnored:
      return true;
    case Slot::kRoot:
      return false;  // the text is not an object
    case Slot::kConnectParams:
      members_.connectParams.SetWrongType();
      return true;
    case Slot::kArguments:
      params_->arguments.SetWrongType();
      return true;
    case Slot::kConsoleSize:
      params_->consoleSize.SetWrongType();
      return true;
    case Slot::kRequestConsoleSize:
      members_.consoleSize.SetWrongType();
      return true;
    case Slot::kArgument:
      // The decode fails unless a later "arguments" replaces these, so the strings are not kept.
      arguments_->allStrings = false;
      arguments_->strings = {};
      return true;
    case Slot::kOmitProcessedContent:
      params_->omitProcessedContent.SetWrongType();
      return true;
    default:
      if (Member<std::string>* text = StringMember(slot)) text->SetWrongType();
      if (Member<double>* number = NumberMember(slot)) number->SetWrongType();
      return true;
  }
}

bool RequestHandler::Bool(bool value) {
  if (NextSlot() != Slot::kOmitProcessedContent) return Other();
  params_->omitProcessedContent.Set(value);
  return true;
}

bool RequestHandler::Number(double value) {
  Member<double>* number = NumberMember(NextSlot());
  if (!number) return Other();
  number->Set(value);
  return true;
}

bool RequestHandler::Text(std::string_view value) {
  const Slot slot = NextSlot();
  // An escaped U+0000 ends the string, as it ends the platform's string buffer.
  value = value.substr(0, value.find('\0'));
  if (slot == Slot::kArgument) {
    if (arguments_->allStrings) arguments_->strings.emplace_back(value);
    return true;
  }
  Member<std::string>* text = StringMember(slot);
  if (!text) return Other();
  text->Set(std::string(value));
  return true;
}

bool RequestHandler::Open(bool isObject) {
  // The parser does not recurse, but a hostile text could still make it keep millions of levels; the
  // first container past the bound ends the parse.
  if (depth_ >= kMaxRequestNestingDepth) return false;
  ++depth_;
  const Slot slot = NextSlot();
  if (isObject && slot == Slot::kRoot) {
    scopes_.push_back(Scope::kRequest);
  } else if (isObject && slot == Slot::kConnectParams) {
    params_ = &members_.connectParams.Set();
    scopes_.push_back(Scope::kConnectParams);
  } else if (isObject && slot == Slot::kConsoleSize) {
    size_ = &params_->consoleSize.Set();
    scopes_.push_back(Scope::kConsoleSize);
  } else if (isObject && slot == Slot::kRequestConsoleSize) {
    size_ = &members_.consoleSize.Set();
    scopes_.push_back(Scope::kConsoleSize);
  } else if (!isObject && slot == Slot::kArguments) {
    arguments_ = &params_->arguments.Set();
    scopes_.push_back(Scope::kArguments);
  } else {
    if (!Other()) return false;
    ++ignoredDepth_;
  }
  return true;
}

bool RequestHandler::Close() {
  --depth_;
  if (ignoredDepth_ > 0) {
    --ignoredDepth_;
  } else {
    scopes_.pop_back();
  }
  return true;
}

// Truncates toward zero to 32 bits, where an out-of-range value gives INT32_MIN as the x86 conversion
// does, and keeps the low 16 bits.
std::int16_t NarrowToCoordinate(double number) {
  const bool fits = number > -2147483649.0 && number < 2147483648.0;
  const std::int32_t wide =
      fits ? static_cast<std::int32_t>(number) : std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int16_t>(wide);
}

// The members are read in the platform decoder's order, so the first failure is the one it would raise.
ConnectParams DecodeConnectParams(ParamsMembers params) {
  // "arguments" is looked up before "fileName", so a request that lacks both fails on "arguments".
  Arguments arguments = params.arguments.Take();
  ConnectParams decoded;
  decoded.fileName = params.fileName.Take();
  if (!arguments.allStrings) throw DecodeError(DecodeError::kWrongType);
  decoded.arguments = std::move(arguments.strings);
  if (params.extensionVersion.Present()) decoded.extensionVersion = params.extensionVersion.Take();
  if (params.mode.Present()) decoded.mode = params.mode.Take();
  if (params.consoleSize.Present()) {
    SizeMembers size = params.consoleSize.Take();
    Coord coord;
    coord.x = NarrowToCoordinate(size.x.Take());
    coord.y = NarrowToCoordinate(size.y.Take());
    decoded.consoleSize = coord;
  }
  if (params.pollingIntervalInSeconds.Present())
    decoded.pollingIntervalInSeconds = params.pollingIntervalInSeconds.Take();
  // The additions never fail a connect: a value of another type is ignored.
  decoded.maxOutputBytes = params.maxOutputBytes.Peek();
  decoded.omitProcessedContent = params.omitProcessedContent.Peek().value_or(false);
  return decoded;
}

}  // namespace

Request DecodeRequest(ByteSource& text) {
  RequestStream stream(text);
  RequestHandler handler(stream);
  rapidjson::Reader reader;
  // A text that does not parse, is not an object or nests too deep fails alike.
  if (reader.Parse<rapidjson::kParseIterativeFlag>(stream, handler).IsError() || stream.Failed())
    throw DecodeError(DecodeError::kFail);
  RequestMembers& members = handler.members();
  Request request;
  request.type = members.type.Take();
  if (members.connectParams.Present())
    request.connectParams = DecodeConnectParams(members.connectParams.Take());
  if (members.input.Present()) request.input = members.input.Take();
  // Kept only when whole, so that a bad size fails only the request that reads it.
  if (const auto& size = members.consoleSize.Peek(); size && size->x.Peek() && size->y.Peek()) {
    request.consoleSize = RequestedSize{*size->x.Peek(), *size->y.Peek()};
  }
  return request;
}

}  // namespace snh
