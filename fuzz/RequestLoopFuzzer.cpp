// The request loop from raw standard-input bytes: frame reader, request decoder and dispatch, with a
// session double. Whatever arrives, the loop takes every frame in turn (a frame cut short by the end
// of input included), answers each with exactly one reply or one session call, and every reply is a
// well-formed frame of valid JSON carrying one of the fixed error texts. Text handed to the session is
// valid UTF-8 without NUL. A text decodes the same read in pieces of any size as read whole.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>

#include "FuzzCheck.h"
#include "codec/CodecTestText.h"
#include "codec/DecodeError.h"
#include "codec/JsonModule.h"
#include "codec/Utf.h"
#include "host/RequestDispatcher.h"

namespace snh {
namespace {

// Standard input as the bytes of the fuzz input, delivered in reads of at most `pieceSize` bytes.
class FuzzInput final : public ByteSource {
 public:
  FuzzInput(std::string_view bytes, std::size_t pieceSize) : bytes_(bytes), pieceSize_(pieceSize) {}
  std::size_t Read(char* buffer, std::size_t capacity) override {
    const std::size_t count = std::min({capacity, pieceSize_, bytes_.size()});
    std::memcpy(buffer, bytes_.data(), count);
    bytes_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view bytes_;
  std::size_t pieceSize_;
};

class BufferSink final : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    stream.append(bytes);
    return true;
  }
  std::string stream;
};

bool IsCleanText(const std::string& text) {
  return text.find('\0') == std::string::npos && SanitizeUtf8(text) == text;
}

class SessionDouble final : public SessionControl {
 public:
  void ConnectSSH(const ConnectParams& params) override {
    ++calls;
    FUZZ_CHECK(IsCleanText(params.fileName), "file name is clean UTF-8");
    for (const std::string& argument : params.arguments) {
      FUZZ_CHECK(IsCleanText(argument), "argument is clean UTF-8");
    }
    connected_ = true;
  }
  bool IsConnected() override { return connected_; }
  void WriteInput(std::string text) override {
    ++calls;
    FUZZ_CHECK(connected_, "input only while connected");
    FUZZ_CHECK(IsCleanText(text), "input is clean UTF-8");
  }
  void Disconnect() override {
    ++calls;
    connected_ = false;
  }
  void Resize(Coord size) override {
    ++calls;
    FUZZ_CHECK(connected_, "resize only while connected");
    FUZZ_CHECK(size.x >= 1 && size.x <= 1000 && size.y >= 1 && size.y <= 1000, "size within range");
  }
  void CloseInput() override {
    ++calls;
    FUZZ_CHECK(connected_, "closeStdin only while connected");
  }
  void SetOutputPaused(bool) override {
    ++calls;
    FUZZ_CHECK(connected_, "pauseOutput and resumeOutput only while connected");
  }
  std::size_t calls = 0;

 private:
  bool connected_ = false;
};

// Frames in the input, counted independently of the reader: a body cut short still counts as one.
std::size_t CountFrames(std::string_view bytes) {
  std::size_t frames = 0;
  while (bytes.size() >= 4) {
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(bytes[i]);
    bytes.remove_prefix(4);
    ++frames;
    bytes.remove_prefix(std::min<std::size_t>(length, bytes.size()));
  }
  return frames;
}

// Checks every reply frame; returns how many there are.
std::size_t CheckReplies(std::string_view stream) {
  std::size_t replies = 0;
  while (!stream.empty()) {
    FUZZ_CHECK(stream.size() >= 4, "reply length whole");
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(stream[i]);
    stream.remove_prefix(4);
    FUZZ_CHECK(length <= stream.size(), "reply body whole");
    const std::string body(stream.substr(0, length));
    stream.remove_prefix(length);
    FUZZ_CHECK(IsCleanText(body), "reply is clean UTF-8");
    const nlohmann::json reply = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
    FUZZ_CHECK(reply.is_object(), "reply is a JSON object");
    const std::string type = reply.value("type", "");
    if (type == "error") {
      const std::string error = reply.value("error", "");
      FUZZ_CHECK(error == texts::kInvalidFormat || error == texts::kNotConnected ||
                     error == texts::kNotImplementedYet || error == texts::kUnknownType,
                 "a fixed error text");
    } else {
      FUZZ_CHECK(type == "version" && reply.value("version", "") == "fuzz", "version reply");
    }
    ++replies;
  }
  return replies;
}

// The outcome of decoding: the request, or the code of the failure.
template <typename Decode>
std::variant<Request, std::uint32_t> Outcome(Decode decode) {
  try {
    return decode();
  } catch (const DecodeError& error) {
    return error.code();
  }
}

void CheckDecodingInPieces(std::string_view text, std::size_t pieceSize) {
  FuzzInput pieces(text, pieceSize);
  FUZZ_CHECK(Outcome([&] { return DecodeRequest(pieces); }) == Outcome([&] { return ParseRequest(text); }),
             "decoding does not depend on how the text arrives");
}

}  // namespace
}  // namespace snh

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace snh;
  FuzzedDataProvider provider(data, size);
  const auto pieceSize = provider.ConsumeIntegralInRange<std::size_t>(1, 4096);
  const std::string stream = provider.ConsumeRemainingBytesAsString();

  FuzzInput input(stream, pieceSize);
  BufferSink sink;
  JsonModule json(sink);
  SessionDouble session;
  RunRequestLoop(input, json, session, [] { return std::string("fuzz"); });

  const std::size_t replies = CheckReplies(sink.stream);
  FUZZ_CHECK(replies + session.calls == CountFrames(stream), "one reply or session call per frame");
  CheckDecodingInPieces(std::string_view(stream).substr(std::min<std::size_t>(4, stream.size())), pieceSize);
  return 0;
}
