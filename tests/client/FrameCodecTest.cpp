#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/FrameCodec.h"

namespace snh::client {
namespace {

TEST(FrameCodecTest, EncodesLengthLittleEndian) {
  EXPECT_EQ(EncodeLength(0x01020304), std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(EncodeFrame(R"({"type":"x"})"), std::string("\x0c\x00\x00\x00", 4) + R"({"type":"x"})");
}

TEST(FrameCodecTest, DecodesFramesCutAnywhereAndKeepsTheBodyAsReceived) {
  const std::string first = R"({"type":"stdout", "outputLine":"\u00e9"})";
  const std::string second = R"({"type":"error","error":"SSH Process exited"})";
  const std::string stream = EncodeFrame(first) + EncodeFrame(second);
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    SCOPED_TRACE(cut);
    FrameDecoder decoder;
    decoder.Feed(stream.substr(0, cut));
    decoder.Feed(stream.substr(cut));
    decoder.Finish();
    std::vector<DecodedFrame> frames;
    while (auto frame = decoder.Next()) frames.push_back(std::move(*frame));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].body, first);
    EXPECT_EQ(frames[0].message["outputLine"], "\xC3\xA9");
    EXPECT_EQ(frames[1].body, second);
    EXPECT_EQ(frames[1].length, second.size());
    EXPECT_FALSE(decoder.Failure());
  }
}

TEST(FrameCodecTest, FirstViolationStopsTheDecoder) {
  struct Row {
    const char* name;
    std::string bytes;
    std::string failure;
  };
  const std::vector<Row> rows = {
      {"ZeroLength", std::string(4, '\0'), "frame length 0 is not a sane message size"},
      {"TooLong", EncodeLength(kMaxHostMessageBytes + 1), "frame length 1048577 is not a sane message size"},
      {"NotJson", EncodeFrame("hello"), "frame body is not a JSON object"},
      {"NotAnObject", EncodeFrame("[1]"), "frame body is not a JSON object"},
      {"NoType", EncodeFrame(R"({"kind":"x"})"), "frame body has no string \"type\""},
      {"CutShort", EncodeLength(10) + "{}", "output ended inside a frame, 6 bytes left"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FrameDecoder decoder;
    decoder.Feed(EncodeFrame(R"({"type":"version"})") + row.bytes);
    decoder.Finish();
    ASSERT_TRUE(decoder.Failure());
    EXPECT_NE(decoder.Failure()->find(row.failure), std::string::npos) << *decoder.Failure();
    EXPECT_EQ(decoder.Failure()->rfind("at byte 22 of the host's output", 0), 0u) << *decoder.Failure();
    // The good frame before the fault is still delivered; nothing after it is.
    EXPECT_TRUE(decoder.Next());
    decoder.Feed(EncodeFrame(R"({"type":"version"})"));
    EXPECT_FALSE(decoder.Next());
  }
}

}  // namespace
}  // namespace snh::client
