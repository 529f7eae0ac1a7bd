#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "codec/CodecTestText.h"
#include "codec/JsonModule.h"

namespace snh {
namespace {

using namespace std::string_literals;

// Records every Write call as one entry; can be told to fail or throw.
class RecordingSink : public OutputSink {
 public:
  bool Write(std::string_view bytes) override {
    const std::lock_guard lock(mutex_);
    if (throwNext_) {
      throwNext_ = false;
      throw std::runtime_error("write failed");
    }
    writes_.emplace_back(bytes);
    return !failing_;
  }

  std::vector<std::string> Writes() {
    const std::lock_guard lock(mutex_);
    return writes_;
  }
  void SetFailing() { failing_ = true; }
  void ThrowOnNextWrite() { throwNext_ = true; }

 private:
  std::mutex mutex_;
  std::vector<std::string> writes_;
  bool failing_ = false;
  bool throwNext_ = false;
};

Response OutputLine(std::string text) {
  Response response;
  response.type = "stdout";
  response.outputLine = std::move(text);
  return response;
}

// The response whose JSON text, {"type":"..."}, is `length` bytes long.
Response OfSerializedLength(std::size_t length) {
  Response response;
  response.type.assign(length - R"({"type":""})"s.size(), 'a');
  return response;
}

std::string LittleEndian(std::uint32_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
  return bytes;
}

TEST(WriteMessage, SendsTheSmallestMessageAsOneExactFrame) {
  RecordingSink sink;
  JsonModule module(sink);
  Response response;
  module.WriteMessage(response);
  EXPECT_EQ(sink.Writes(), std::vector<std::string>{"\x0B\x00\x00\x00{\"type\":\"\"}"s});
}

TEST(WriteMessage, PrefixesTheLittleEndianLengthUnaltered) {
  // Length bytes that text-mode streams would translate: LF, CR, Ctrl-Z.
  const struct {
    std::uint32_t length;
    std::string prefix;
  } cases[] = {
      {0x1A, "\x1A\x00\x00\x00"s},   {0x0D, "\x0D\x00\x00\x00"s},     {0x10A, "\x0A\x01\x00\x00"s},
      {0x0D0A, "\x0A\x0D\x00\x00"s}, {0x1A0D0A, "\x0A\x0D\x1A\x00"s},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.length);
    RecordingSink sink;
    JsonModule module(sink);
    const Response response = OfSerializedLength(testCase.length);
    module.WriteMessage(response);
    const std::vector<std::string> writes = sink.Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], testCase.prefix + SerializeResponse(response));
  }
}

TEST(WriteMessage, CarriesOnAfterAFailedWrite) {
  RecordingSink sink;
  sink.SetFailing();
  JsonModule module(sink);
  module.WriteMessage(OutputLine("lost"));
  module.WriteMessage(OutputLine("lost too"));
  EXPECT_EQ(sink.Writes().size(), 2u);
}

TEST(WriteMessage, ReleasesTheLockWhenAWriteThrows) {
  RecordingSink sink;
  sink.ThrowOnNextWrite();
  JsonModule module(sink);
  EXPECT_THROW(module.WriteMessage(OutputLine("first")), std::runtime_error);
  // From another thread, so a lock still held shows as a wait, not as undefined behaviour.
  auto next = std::async(std::launch::async, [&] { module.WriteMessage(OutputLine("second")); });
  ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  next.get();
  const std::string body = R"({"type":"stdout","outputLine":"second"})";
  EXPECT_EQ(sink.Writes(),
            std::vector<std::string>{LittleEndian(static_cast<std::uint32_t>(body.size())) + body});
}

struct Frame {
  std::uint32_t length;
  std::string body;
};

std::vector<Frame> SplitFrames(std::string_view stream) {
  std::vector<Frame> frames;
  while (stream.size() >= 4) {
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(stream[i]);
    if (stream.size() - 4 < length) break;
    frames.push_back({length, std::string(stream.substr(4, length))});
    stream.remove_prefix(4 + length);
  }
  EXPECT_TRUE(stream.empty()) << "bytes after the last whole frame";
  return frames;
}

TEST(WriteMessage, NeverInterleavesFramesFromSeveralThreads) {
  constexpr int kThreads = 8;
  constexpr int kMessagesPerThread = 200;
  RecordingSink sink;
  JsonModule module(sink);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&module, thread] {
      for (int message = 0; message < kMessagesPerThread; ++message) {
        // Sizes vary so that a torn frame would misalign everything after it.
        const std::string padding(static_cast<std::size_t>((message * 37) % 1500), 'x');
        module.WriteMessage(
            OutputLine(std::to_string(thread) + ":" + std::to_string(message) + ":" + padding));
      }
    });
  }
  for (auto& thread : threads) thread.join();

  const std::vector<std::string> writes = sink.Writes();
  ASSERT_EQ(writes.size(), static_cast<std::size_t>(kThreads * kMessagesPerThread))
      << "one write per message";
  std::string stream;
  for (const auto& write : writes) stream += write;

  const std::vector<Frame> frames = SplitFrames(stream);
  ASSERT_EQ(frames.size(), writes.size());
  std::vector<int> nextMessage(kThreads, 0);
  for (const Frame& frame : frames) {
    const std::string line = nlohmann::json::parse(frame.body).at("outputLine");
    const auto firstColon = line.find(':');
    const auto secondColon = line.find(':', firstColon + 1);
    const int thread = std::stoi(line.substr(0, firstColon));
    const int message = std::stoi(line.substr(firstColon + 1, secondColon - firstColon - 1));
    EXPECT_EQ(message, nextMessage[static_cast<std::size_t>(thread)]++)
        << "messages of one thread stay in order";
  }
  EXPECT_EQ(nextMessage, std::vector<int>(kThreads, kMessagesPerThread));
}

}  // namespace
}  // namespace snh
