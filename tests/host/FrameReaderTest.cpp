#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/FrameReader.h"

namespace snh {
namespace {

// Hands out its bytes at most `step` at a time, as a pipe does.
class ScriptedInput final : public ByteSource {
 public:
  explicit ScriptedInput(std::string bytes, std::size_t step = 1 << 20)
      : bytes_(std::move(bytes)), step_(step) {}
  std::size_t Read(char* buffer, std::size_t capacity) override {
    const std::size_t count = std::min({capacity, step_, bytes_.size() - at_});
    std::copy_n(bytes_.data() + at_, count, buffer);
    at_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t step_;
  std::size_t at_ = 0;
};

std::string Frame(std::string_view body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string frame{static_cast<char>(length), static_cast<char>(length >> 8),
                    static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
  return frame.append(body);
}

TEST(FrameReader, ReadsConsecutiveFramesWhateverTheReadSize) {
  const std::string stream = Frame(R"({"type":"getVersion"})") + Frame("") + Frame("0123456789");
  for (std::size_t step : {1u, 3u, 4u, 5u, 1024u}) {
    ScriptedInput input(stream, step);
    EXPECT_EQ(ReadMessage(input), R"({"type":"getVersion"})") << "step " << step;
    EXPECT_EQ(ReadMessage(input), "") << "step " << step;
    EXPECT_EQ(ReadMessage(input), "0123456789") << "step " << step;
    EXPECT_EQ(ReadMessage(input), std::nullopt) << "step " << step;
  }
}

TEST(FrameReader, LengthBytesThatLookLikeLineEndsAreOrdinary) {
  for (std::size_t size : {0x0Au, 0x0Du, 0x1Au, 0x0D0Au, 0x1A0Du}) {
    const std::string body(size, 'x');
    ScriptedInput input(Frame(body));
    EXPECT_EQ(ReadMessage(input), body) << "size " << size;
  }
}

TEST(FrameReader, LengthCutShortIsEndOfInput) {
  for (std::string partial :
       {std::string(), std::string("\x0a"), std::string("\x0a\x00", 2), std::string("\x0a\x00\x00", 3)}) {
    ScriptedInput input(partial);
    EXPECT_EQ(ReadMessage(input), std::nullopt) << partial.size() << " length bytes";
  }
}

TEST(FrameReader, BodyCutShortEndsWithNulAndThenEndOfInput) {
  ScriptedInput input(std::string("\x14\x00\x00\x00", 4) + R"({"type":"x"})");
  EXPECT_EQ(ReadMessage(input), std::string(R"({"type":"x"})") + '\0');
  EXPECT_EQ(ReadMessage(input), std::nullopt);
}

TEST(FrameReader, HugeAnnouncedLengthDoesNotAllocateWhatNeverArrives) {
  // 4 GiB - 1 announced, a few bytes sent: the result holds only what arrived.
  ScriptedInput input(std::string("\xff\xff\xff\xff", 4) + "abc");
  const std::optional<std::string> body = ReadMessage(input);
  ASSERT_TRUE(body);
  EXPECT_EQ(*body, std::string("abc") + '\0');
  EXPECT_LE(body->capacity(), 64u * 1024);
}

TEST(FrameReader, LargeFrameArrivesWholeThroughGrowingBuffer) {
  std::string large(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 26);
  const std::uint32_t length = static_cast<std::uint32_t>(large.size());
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>(length >> (8 * i));
  for (const std::size_t readSize : {std::size_t{1000}, std::size_t{1} << 20}) {
    ScriptedInput input(frame + large, readSize);
    EXPECT_EQ(ReadMessage(input), large);
  }
}

}  // namespace
}  // namespace snh
