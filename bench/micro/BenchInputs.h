#pragma once

// Inputs for the micro-benchmarks: generated text and the recordings under bench/data, cut into the
// 1024-byte chunks that the pipe reader delivers.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace snh::bench {

inline constexpr std::size_t kChunkSize = 1024;

// Printable ASCII lines of 70 characters and CRLF, `size` bytes in all.
std::string AsciiText(std::size_t size);
// Lines mixing 2-, 3- and 4-byte UTF-8 characters with ASCII, `size` bytes in all, cut at a character.
std::string Utf8Text(std::size_t size);
// A window-title command that never ends: ESC ] 0 ; and then `size` bytes of ASCII text.
std::string UnterminatedTitle(std::size_t size);
// A file of bench/data; throws std::runtime_error when it cannot be read.
std::string Recording(std::string_view name);

std::vector<std::string_view> Chunks(std::string_view data, std::size_t chunkSize = kChunkSize);

}  // namespace snh::bench
