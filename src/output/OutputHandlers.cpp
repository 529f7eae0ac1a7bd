#include "output/OutputHandlers.h"

#include <algorithm>
#include <string_view>

#include "codec/Utf.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace snh {
namespace {

// Where the first NUL of `bytes` is, or npos. Every chunk of output passes here: 64 bytes at a time
// where there is SSE2 (about 10 ns a chunk; Wine's msvcrt memchr goes a byte at a time).
std::size_t FindNul(std::string_view bytes) {
  std::size_t at = 0;
#ifdef __SSE2__
  for (; at + 64 <= bytes.size(); at += 64) {
    const auto* blocks = reinterpret_cast<const __m128i*>(bytes.data() + at);
    const __m128i low = _mm_min_epu8(_mm_loadu_si128(blocks), _mm_loadu_si128(blocks + 1));
    const __m128i high = _mm_min_epu8(_mm_loadu_si128(blocks + 2), _mm_loadu_si128(blocks + 3));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(low, high), _mm_setzero_si128())) != 0) break;
  }
#endif
  return bytes.find('\0', at);
}

// A message's text has never held a NUL (a text would end at one), so the NULs of the client's
// output are dropped before anything else sees it, and only they.
void DropNulBytes(std::string& chunk) {
  const std::size_t first = FindNul(chunk);
  if (first == std::string::npos) return;
  chunk.erase(std::remove(chunk.begin() + static_cast<std::ptrdiff_t>(first), chunk.end(), '\0'),
              chunk.end());
}

// The most a byte can grow to in a JSON text: \u00XX for a control byte, a backslash before a quote
// or a backslash, U+FFFD (3 bytes) for a byte of ill-formed UTF-8.
constexpr std::size_t EscapedSize(unsigned char byte) {
  if (byte < 0x20) return 6;
  if (byte == '"' || byte == '\\') return 2;
  return byte >= 0x80 ? 3 : 1;
}

constexpr bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::size_t MessageSplitter::FittingPrefix(std::string_view text) const {
  std::size_t cost = 0;
  std::size_t size = 0;
  while (size < text.size()) {
    cost += EscapedSize(static_cast<unsigned char>(text[size]));
    if (cost > budget_) break;
    ++size;
  }
  if (size == text.size()) return size;
  // Back to the start of the character that did not fit, unless the bytes are not UTF-8 at all.
  std::size_t cut = size;
  while (cut > 0 && size - cut < 3 && IsContinuationByte(static_cast<unsigned char>(text[cut]))) --cut;
  return cut > 0 && !IsContinuationByte(static_cast<unsigned char>(text[cut])) ? cut : size;
}

std::string Utf8Carry::Take(std::string chunk) {
  std::string data = carry_.empty() ? std::move(chunk) : carry_ + chunk;
  const std::size_t complete = CompleteUtf8PrefixLength(data);
  carry_.assign(data, complete);
  data.resize(complete);
  return data;
}

void StreamOutputHandler::operator()(std::string chunk) {
  DropNulBytes(chunk);
  std::string text = carry_.Take(std::move(chunk));
  // A read that only began a character has nothing to show yet; the next read carries it.
  if (text.empty()) return;
  Response message;
  message.type = type_;
  if (splitter_.SurelyFits(text.size())) {
    message.outputLine = std::move(text);
    json_->WriteMessage(message);
    return;
  }
  splitter_.ForEachPiece(text, [&](std::string_view piece) {
    message.outputLine = std::string(piece);
    json_->WriteMessage(message);
  });
}

PseudoConsoleOutputHandler::PseudoConsoleOutputHandler(JsonModule& json, OutputOptions options)
    : json_(&json),
      omitProcessedContent_(options.omitProcessedContent),
      splitter_(options.omitProcessedContent ? 1 : 2) {
  if (omitProcessedContent_) processor_.LeaveOutText();
}

void PseudoConsoleOutputHandler::operator()(std::string chunk) {
  DropNulBytes(chunk);
  std::string raw = carry_.Take(std::move(chunk));
  // Only a cut character is held back from the raw content: any other byte is sent as read, even one
  // that leaves the plain text empty, so that the raw contents concatenate to the console's output.
  if (raw.empty()) return;
  // The processor takes any cut of its input alike, so a split chunk gives the same text in total.
  if (splitter_.SurelyFits(raw.size())) return Send(std::move(raw));
  splitter_.ForEachPiece(raw, [this](std::string_view piece) { Send(std::string(piece)); });
}

void PseudoConsoleOutputHandler::Send(std::string raw) {
  ProcessedOutput processed = processor_.Process(raw);
  Response message;
  message.type = "pseudo_console_output";
  PseudoConsoleOutput& output = message.pseudoConsoleOutput.emplace();
  output.rawContent = std::move(raw);
  if (!omitProcessedContent_) output.processedContent = std::move(processed.processedContent);
  output.windowTitle = std::move(processed.windowTitle);
  json_->WriteMessage(message);
}

}  // namespace snh
