#pragma once

// An output sink that keeps every frame, and reads them back as JSON messages.

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/OutputSink.h"

namespace snh::testing {

class RecordedMessages final : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    std::lock_guard lock(mutex_);
    stream_.append(bytes);
    return true;
  }

  // Every frame written so far, each body parsed as JSON. Fails the test on a malformed stream.
  std::vector<nlohmann::json> Messages() {
    std::lock_guard lock(mutex_);
    std::vector<nlohmann::json> messages;
    std::size_t at = 0;
    while (at < stream_.size()) {
      EXPECT_GE(stream_.size() - at, 4u) << "a length cut short";
      if (stream_.size() - at < 4) break;
      std::uint32_t length = 0;
      for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(stream_[at + i]);
      at += 4;
      EXPECT_LE(length, stream_.size() - at) << "a body cut short";
      EXPECT_LE(length, 1024u * 1024u) << "over the 1 MiB a browser takes";
      messages.push_back(nlohmann::json::parse(stream_.substr(at, length)));
      at += length;
    }
    return messages;
  }

 private:
  std::mutex mutex_;
  std::string stream_;
};

}  // namespace snh::testing
