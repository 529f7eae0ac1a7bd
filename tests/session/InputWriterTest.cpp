// The input writer against a real pipe: order and wholeness, closing a pipe it owns, the bounded queue,
// and a reader that has gone.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "host/RecordedMessages.h"
#include "platform/ChildPipes.h"
#include "platform/PipeReadPort.h"
#include "session/InputWriter.h"

namespace snh {
namespace {

// Reads the pipe until `size` bytes have come or it fails.
std::string ReadBytes(NativeHandle pipe, std::size_t size) {
  PipeReadPort port(pipe);
  std::string bytes;
  std::array<char, 65536> buffer{};
  while (bytes.size() < size) {
    const ReadResult result = port.Read(buffer);
    if (result.outcome != ReadOutcome::kData) break;
    bytes.append(buffer.data(), result.size);
  }
  return bytes;
}

std::string NumberedText(int index) {
  const std::string mark = "<" + std::to_string(index) + ">";
  std::string text;
  while (text.size() < static_cast<std::size_t>(index % 37) * 131) text += mark;
  return text;
}

TEST(InputWriter, TextsArriveWholeAndInOrder) {
  testing::RecordedMessages output;
  JsonModule json(output);
  ChildPipes pipes = CreateChildPipes();
  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += NumberedText(i);
  std::string received;
  std::thread reader([&] { received = ReadBytes(pipes.stdinRead.get(), expected.size()); });
  {
    InputWriter writer(pipes.stdinWrite.get(), "WriteFile child stdin", json);
    for (int i = 0; i < 2000; ++i) writer.Write(NumberedText(i));
    reader.join();
  }
  EXPECT_TRUE(received == expected) << received.size() << " bytes of " << expected.size();
  EXPECT_TRUE(output.Messages().empty());
}

// The writer owns the pipe it is given: Close ends the reader's stream once the queue is written.
TEST(InputWriter, CloseEndsAnOwnedPipeAfterWhatIsQueued) {
  testing::RecordedMessages output;
  JsonModule json(output);
  ChildPipes pipes = CreateChildPipes();
  std::string received;
  std::thread reader([&] { received = ReadBytes(pipes.stdinRead.get(), SIZE_MAX); });
  InputWriter writer(std::move(pipes.stdinWrite), "WriteFile child stdin", json);
  writer.Write(NumberedText(36));
  writer.Write("end");
  writer.Close();
  reader.join();
  EXPECT_EQ(received, NumberedText(36) + "end");
  EXPECT_EQ(writer.Write("late"), std::optional<std::string>(texts::kInputClosed));
}

TEST(InputWriter, WriteBeyondTheLimitIsRefusedAndNothingOfItArrives) {
  testing::RecordedMessages output;
  JsonModule json(output);
  ChildPipes pipes = CreateChildPipes();
  std::optional<InputWriter> writer(std::in_place, pipes.stdinWrite.get(), "WriteFile child stdin", json);
  // Nobody reads: the queue fills to its limit without holding the caller up.
  const std::string block(1 << 20, 'q');
  for (std::size_t queued = 0; queued < InputWriter::kQueueLimit; queued += block.size())
    writer->Write(block);

  EXPECT_EQ(writer->Write("late"), "Input queue full");
  writer->Abandon();
  writer->Write("after");  // dropped: abandoned for good
  writer.reset();

  // What did reach the pipe is the start of the blocks, and neither text behind them.
  pipes.stdinWrite.reset();
  const std::string arrived = ReadBytes(pipes.stdinRead.get(), InputWriter::kQueueLimit + 16);
  EXPECT_LE(arrived.size(), InputWriter::kQueueLimit);
  EXPECT_EQ(arrived.find_first_not_of('q'), std::string::npos);
  EXPECT_TRUE(output.Messages().empty());
}

TEST(InputWriter, AFailedWriteIsReportedOnceAndAnswersEveryLaterText) {
  testing::RecordedMessages output;
  JsonModule json(output);
  ChildPipes pipes = CreateChildPipes();
  // A pipe's read end takes no writes: a failure other than a reader that has gone.
  InputWriter writer(pipes.stdinRead.get(), "WriteFile child stdin", json);
  EXPECT_EQ(writer.Write("first"), std::nullopt);
  std::optional<std::string> refusal;
  for (int i = 0; i < 1000 && !refusal; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    refusal = writer.Write("later");
  }
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->rfind("WriteFile child stdin failed. 0x", 0), 0u) << *refusal;
  EXPECT_EQ(writer.Write("again"), refusal);
  EXPECT_EQ(output.Messages(), std::vector<nlohmann::json>({{{"type", "error"}, {"error", *refusal}}}));
}

TEST(InputWriter, ReaderThatHasGoneDropsInputQuietly) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);  // as the host does: a closed pipe is an error code, not a signal
#endif
  testing::RecordedMessages output;
  JsonModule json(output);
  ChildPipes pipes = CreateChildPipes();
  pipes.stdinRead.reset();
  {
    InputWriter writer(pipes.stdinWrite.get(), "WriteFile child stdin", json);
    for (int i = 0; i < 100; ++i) writer.Write(std::string(4096, 'x'));
  }
  EXPECT_TRUE(output.Messages().empty());
}

}  // namespace
}  // namespace snh
