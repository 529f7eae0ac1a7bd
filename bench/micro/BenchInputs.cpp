#include "BenchInputs.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace snh::bench {
namespace {

std::string Repeat(std::string_view line, std::size_t size) {
  std::string text;
  text.reserve(size + line.size());
  while (text.size() < size) text += line;
  text.resize(size);
  return text;
}

}  // namespace

std::string AsciiText(std::size_t size) {
  return Repeat("The quick brown fox jumps over the lazy dog; 0123456789 (pack my box).\r\n", size);
}

std::string Utf8Text(std::size_t size) {
  std::string text = Repeat(
      "Grüße aus Köln, Ελληνικά κείμενα, русский текст, 日本語のテキスト, 한국어, emoji "
      "🙂🚀 "
      "and "
      "ASCII.\r\n",
      size);
  // Never end inside a character: drop continuation bytes and the lead byte they follow.
  while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.pop_back();
  if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.pop_back();
  return text;
}

std::string UnterminatedTitle(std::size_t size) { return "\x1b]0;" + AsciiText(size); }

std::string Recording(std::string_view name) {
  const std::string path = std::string(SNH_BENCH_DATA_DIR) + "/" + std::string(name);
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return std::move(bytes).str();
}

std::vector<std::string_view> Chunks(std::string_view data, std::size_t chunkSize) {
  std::vector<std::string_view> chunks;
  for (std::size_t at = 0; at < data.size(); at += chunkSize) chunks.push_back(data.substr(at, chunkSize));
  return chunks;
}

}  // namespace snh::bench
