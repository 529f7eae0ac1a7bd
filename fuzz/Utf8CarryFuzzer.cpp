// The UTF-8 carry of chunk tails on any byte stream cut into any chunks: what comes out is the stream's
// prefix up to its last incomplete character whatever the cuts, no character is split between two
// pieces, valid UTF-8 stays valid in every piece, and at most 3 bytes are ever carried. The
// incomplete tail is recognised here by its own rule (Unicode table 3-7), not by the carry's. And any
// bytes become the JSON text that nlohmann/json writes for their sanitized form.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "codec/JsonText.h"
#include "codec/Utf.h"
#include "output/OutputHandlers.h"

namespace snh {
namespace {

bool In(unsigned char byte, unsigned char low, unsigned char high) { return byte >= low && byte <= high; }

// The length of the well-formed UTF-8 character that `bytes` (1 to 4 of them) begin, or 0 when they
// begin none.
std::size_t CharacterBegun(std::string_view bytes) {
  const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  std::size_t length = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  if (lead < 0x80) {
    length = 1;
  } else if (In(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (In(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (In(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() > length) return 0;
  if (bytes.size() > 1 && !In(at(1), secondLow, secondHigh)) return 0;
  for (std::size_t i = 2; i < bytes.size(); ++i) {
    if (!In(at(i), 0x80, 0xBF)) return 0;
  }
  return length;
}

// How many bytes at the end of `bytes` are an incomplete character that more bytes could complete.
std::size_t IncompleteTailLength(std::string_view bytes) {
  for (std::size_t length = 1; length <= 3 && length <= bytes.size(); ++length) {
    if (CharacterBegun(bytes.substr(bytes.size() - length)) > length) return length;
  }
  return 0;
}

// Whether the cut before stream[cut] falls inside a well-formed character.
bool SplitsACharacter(std::string_view stream, std::size_t cut) {
  const std::size_t tail = IncompleteTailLength(stream.substr(0, cut));
  return tail > 0 && cut < stream.size() && CharacterBegun(stream.substr(cut - tail, tail + 1)) > 0;
}

bool IsValidUtf8(std::string_view bytes) {
  return bytes.find('\0') == std::string_view::npos && SanitizeUtf8(bytes) == bytes;
}

}  // namespace
}  // namespace snh

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace snh;
  FuzzedDataProvider provider(data, size);
  std::string chunkSizes = provider.ConsumeBytesAsString(provider.ConsumeIntegralInRange<std::size_t>(0, 32));
  const std::string stream = provider.ConsumeRemainingBytesAsString();
  const bool streamValid = IsValidUtf8(stream.substr(0, stream.size() - IncompleteTailLength(stream)));

  Utf8Carry carry;
  std::string out;
  std::size_t at = 0;
  chunkSizes.push_back(static_cast<char>(0xFF));  // then the rest in one
  for (std::size_t i = 0; i < chunkSizes.size() && (at < stream.size() || i == 0); ++i) {
    const std::size_t length =
        i + 1 == chunkSizes.size() ? std::string::npos : static_cast<unsigned char>(chunkSizes[i]) % 16;
    const std::string chunk = stream.substr(at, length);
    at += chunk.size();
    const std::string piece = carry.Take(chunk);
    if (streamValid) FUZZ_CHECK(IsValidUtf8(piece), "valid UTF-8 stays valid in every piece");
    out += piece;
    FUZZ_CHECK(!SplitsACharacter(stream, out.size()), "no character split between pieces");
    FUZZ_CHECK(stream.compare(0, out.size(), out) == 0, "pieces are the stream in order");
    FUZZ_CHECK(at - out.size() <= 3, "at most 3 bytes carried");
  }
  FUZZ_CHECK(out.size() == stream.size() - IncompleteTailLength(stream), "only an incomplete tail is kept");

  std::string json;
  AppendJsonText(json, stream);
  FUZZ_CHECK(json == nlohmann::json(SanitizeUtf8(stream)).dump(), "the JSON text is the library's");
  return 0;
}
