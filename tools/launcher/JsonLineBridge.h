#pragma once

// The launcher's two directions, the same on every platform: JSON lines from the terminal become
// request frames, and reply frames become JSON lines. `readAll(data, size)` and `writeAll(data, size)`
// move exactly `size` bytes to or from the host, or return false once its pipe has failed.

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

namespace snh::launcher {

template <class ReadAll>
void PrintReplyFrames(ReadAll readAll) {
  for (;;) {
    unsigned char prefix[4];
    if (!readAll(reinterpret_cast<char*>(prefix), 4)) return;
    const std::uint32_t length =
        prefix[0] | prefix[1] << 8 | prefix[2] << 16 | std::uint32_t{prefix[3]} << 24;
    std::string line(length, '\0');
    if (!readAll(line.data(), length)) return;
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
}

template <class WriteAll>
void SendRequestLines(WriteAll writeAll) {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const auto length = static_cast<std::uint32_t>(line.size());
    const char prefix[4] = {static_cast<char>(length), static_cast<char>(length >> 8),
                            static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
    if (!writeAll(prefix, 4) || !writeAll(line.data(), length)) return;
  }
}

}  // namespace snh::launcher
