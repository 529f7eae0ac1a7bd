#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
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

// The next body, read to its end as the decoder reads it; nothing at end of input.
std::optional<std::string> ReadMessage(ByteSource& input) {
  std::optional<FrameBody> body = ReadFrame(input);
  if (!body) return std::nullopt;
  std::string text;
  char block[4096];
  while (const std::size_t count = body->Read(block, sizeof block)) text.append(block, count);
  return text;
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

TEST(FrameReader, BodyCutShortEndsWhereTheInputEndsAndThenEndOfInput) {
  ScriptedInput input(std::string("\x14\x00\x00\x00", 4) + R"({"type":"x"})");
  EXPECT_EQ(ReadMessage(input), R"({"type":"x"})");
  EXPECT_EQ(ReadMessage(input), std::nullopt);
}

// A frame header, then `fill` bytes of 'x' made up as they are read, then `after`: a body of any size
// without holding it.
class GeneratedInput final : public ByteSource {
 public:
  GeneratedInput(std::uint32_t length, std::uint64_t fill, std::string after)
      : header_(4, '\0'), fill_(fill), after_(std::move(after)) {
    for (int i = 0; i < 4; ++i) header_[i] = static_cast<char>(length >> (8 * i));
  }
  std::size_t Read(char* buffer, std::size_t capacity) override {
    if (!header_.empty()) return Take(header_, buffer, capacity);
    if (fill_ > 0) {
      const auto count = static_cast<std::size_t>(std::min<std::uint64_t>({capacity, fill_, 1 << 16}));
      std::fill_n(buffer, count, 'x');
      fill_ -= count;
      return count;
    }
    return Take(after_, buffer, capacity);
  }

 private:
  static std::size_t Take(std::string& bytes, char* buffer, std::size_t capacity) {
    const std::size_t count = std::min(capacity, bytes.size());
    std::copy_n(bytes.data(), count, buffer);
    bytes.erase(0, count);
    return count;
  }
  std::string header_;
  std::uint64_t fill_;
  std::string after_;
};

TEST(FrameReader, BodiesOverTheLimitAreDroppedAndTheNextFrameIsReadInStep) {
  const std::string next = Frame(R"({"type":"getVersion"})");
  const std::uint32_t overLimit = static_cast<std::uint32_t>(kMaxMessageSize + 1);
  for (const std::uint32_t length : {overLimit, 0x8000'0000u, 0xFFFF'FFFFu}) {
    SCOPED_TRACE(length);
    GeneratedInput input(length, length, next);
    const std::optional<std::string> dropped = ReadMessage(input);
    ASSERT_TRUE(dropped);
    EXPECT_EQ(*dropped, "");
    EXPECT_EQ(ReadMessage(input), R"({"type":"getVersion"})");
    EXPECT_EQ(ReadMessage(input), std::nullopt);
  }
}

TEST(FrameReader, BodyOfExactlyTheLimitIsKept) {
  GeneratedInput input(static_cast<std::uint32_t>(kMaxMessageSize), kMaxMessageSize, "");
  const std::optional<std::string> body = ReadMessage(input);
  ASSERT_TRUE(body);
  EXPECT_EQ(body->size(), kMaxMessageSize);
  EXPECT_EQ(body->find_first_not_of('x'), std::string::npos);
}

TEST(FrameReader, HugeAnnouncedLengthCutShortIsDroppedThenEndOfInput) {
  // 4 GiB - 1 announced, a megabyte sent: nothing of it is kept, and the input then ends.
  GeneratedInput input(0xFFFF'FFFFu, 1 << 20, "");
  EXPECT_EQ(ReadMessage(input), "");
  EXPECT_EQ(ReadMessage(input), std::nullopt);
}

TEST(FrameReader, LargeFrameArrivesWhole) {
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
