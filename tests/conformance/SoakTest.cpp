// Load and soak: many connect and disconnect cycles in every mode leave the host holding no more fds
// or handles, threads or memory than before; a long relay arrives byte for byte, in order, on the
// stdout pipe and (POSIX) the pty. The sizes are small by default; scripts/soak.sh sets
// SNH_SOAK_CYCLES and SNH_SOAK_RELAY_CHARACTERS for the long runs.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "Base64Stream.h"
#include "HostTest.h"

namespace snh::conformance {
namespace {

class Soak : public HostTest {};

std::uint64_t Setting(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text ? std::strtoull(text, nullptr, 10) : fallback;
}

// Growth allowed between two measurements of an idle host: allocator caches and lazily started
// system threads. An idle host under Wine holds a few handles more or fewer from one moment to the
// next (up to 6 seen under load, bounded over 30 cycles), so the default cycle count keeps a leak of
// one handle per cycle well above the slack.
constexpr std::uint64_t kDefaultCycles = 20;
constexpr long kHandleSlack = 8;
constexpr long kThreadSlack = 2;
constexpr long kResidentSlackKiB = 8 * 1024;

// Measures again while the last cycle's threads finish: under load they can outlive the notice by
// some milliseconds. Anything kept per cycle never settles.
ProcessResources SettledMeasure(unsigned long processId, const ProcessResources& before) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (;;) {
    const ProcessResources after = MeasureProcess(processId);
    const bool settled = after.handles <= before.handles + kHandleSlack &&
                         after.threads <= before.threads + kThreadSlack &&
                         after.residentKiB <= before.residentKiB + kResidentSlackKiB;
    if (settled || std::chrono::steady_clock::now() > deadline) return after;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Connects and disconnects `cycles` times, the client up and writing each time, and waits for each
// exit notice, so that the host is idle again at the end.
void Cycle(HostSession& host, const char* mode, std::uint64_t cycles) {
  for (std::uint64_t i = 0; i < cycles; ++i) {
    host.Send(ConnectRequest(Options().clientProgram, {"out:up", "console:up", "sleep:30000"}, mode));
    host.WaitFor([](const nlohmann::json& message) { return message.at("type") != "error"; }, kClientTimeout,
                 "the client's first output");
    host.Send(DisconnectRequest());
    host.WaitFor(IsExitNotice(), kClientTimeout, "the exit notice");
    host.CollectFor(Milliseconds(0));
  }
}

TEST_F(Soak, ConnectDisconnectCyclesLeaveNothingBehind) {
  const std::uint64_t cycles = Setting("SNH_SOAK_CYCLES", kDefaultCycles);
  // SNH_SOAK_MODE=<mode> runs one mode only, so that long runs of the modes can go side by side.
  const char* onlyMode = std::getenv("SNH_SOAK_MODE");
  for (const char* mode : {kPseudoConsole, kConsoleWithPolling, kConsoleWithoutPolling}) {
    if (onlyMode && std::string_view(onlyMode) != mode) continue;
    SCOPED_TRACE(mode);
    HostSession& host = StartHost();
    Cycle(host, mode, 3);
    const ProcessResources before = MeasureProcess(host.ProcessId());
    Cycle(host, mode, cycles);
    const ProcessResources after = SettledMeasure(host.ProcessId(), before);
    std::printf("[ soak ] %s, %llu cycles: handles %ld -> %ld, threads %ld -> %ld, resident %ld -> %ld KiB\n",
                mode, static_cast<unsigned long long>(cycles), before.handles, after.handles, before.threads,
                after.threads, before.residentKiB, after.residentKiB);
    std::fflush(stdout);
    EXPECT_GT(before.handles, 0);
    EXPECT_LE(after.handles, before.handles + kHandleSlack);
    EXPECT_LE(after.threads, before.threads + kThreadSlack);
    EXPECT_LE(after.residentKiB, before.residentKiB + kResidentSlackKiB);
    ExpectVersionNext(host);
  }
}

// Checks relayed text against Base64Stream as it arrives, line ends dropped, without keeping it.
class RelayCheck {
 public:
  void Feed(const std::string& text) {
    std::string characters;
    for (const char c : text) {
      if (c != '\r' && c != '\n') characters += c;
    }
    const std::string expected = stream_.Next(characters.size());
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < characters.size() && !firstDifference_; ++i) {
      if (characters[i] != expected[i]) firstDifference_ = received_ + i;
    }
    for (const char c : characters) checksum_ = (checksum_ ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    received_ += characters.size();
  }
  std::uint64_t Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::optional<std::uint64_t> FirstDifference() const {
    std::lock_guard lock(mutex_);
    return firstDifference_;
  }
  std::uint64_t Checksum() const {
    std::lock_guard lock(mutex_);
    return checksum_;
  }

 private:
  test_client::Base64Stream stream_;  // only the reader thread feeds
  mutable std::mutex mutex_;
  std::uint64_t received_ = 0;
  std::uint64_t checksum_ = 0xcbf29ce484222325;  // FNV-1a
  std::optional<std::uint64_t> firstDifference_;
};

void ExpectRelayWhole(HostSession& host, const char* mode, const char* type, std::uint64_t characters) {
  RelayCheck check;
  host.SetConsumer([&check, type](const nlohmann::json& message) {
    if (message.at("type") != type) return false;
    check.Feed(message.contains("outputLine")
                   ? message.at("outputLine").get<std::string>()
                   : message.at("pseudoConsoleOutput").at("rawContent").get<std::string>());
    return true;
  });
  const auto started = Clock::now();
  host.Send(
      ConnectRequest(Options().clientProgram, {"base64:" + std::to_string(characters), "sleep:1000"}, mode));
  // Generous: 1 MB/s at the least.
  host.WaitFor(IsExitNotice(), Milliseconds(30000 + characters / 1000), "the exit notice");
  const double seconds = SecondsBetween(started, Clock::now());
  host.SetConsumer(nullptr);
  test_client::Base64Stream reference;
  std::uint64_t expectedChecksum = 0xcbf29ce484222325;
  for (std::uint64_t left = characters; left > 0;) {
    const std::string part = reference.Next(std::min<std::uint64_t>(left, 1 << 20));
    for (const char c : part)
      expectedChecksum = (expectedChecksum ^ static_cast<unsigned char>(c)) * 0x100000001b3;
    left -= part.size();
  }
  std::printf("[ soak ] %s relay of %llu base64 characters: %.1f s, %.1f MB/s, checksum %016llx\n", mode,
              static_cast<unsigned long long>(characters), seconds, characters / seconds / 1e6,
              static_cast<unsigned long long>(check.Checksum()));
  std::fflush(stdout);
  EXPECT_EQ(check.Received(), characters);
  EXPECT_EQ(check.FirstDifference(), std::nullopt);
  EXPECT_EQ(check.Checksum(), expectedChecksum);
}

TEST_F(Soak, LongRelayOnStdoutArrivesWholeAndInOrder) {
  HostSession& host = StartHost();
  ExpectRelayWhole(host, kConsoleWithoutPolling, "stdout", Setting("SNH_SOAK_RELAY_CHARACTERS", 4 << 20));
  ExpectVersionNext(host);
}

TEST_F(Soak, LongRelayThroughThePtyArrivesWholeAndInOrder) {
  // A Windows pseudo console renders the text anew (its own line breaks and escapes): no byte-exact relay.
  if (!Platform().pseudoConsoleCarriesStandardStreams) GTEST_SKIP() << "the pseudo console re-renders text";
  HostSession& host = StartHost();
  ExpectRelayWhole(host, kPseudoConsole, "pseudo_console_output",
                   Setting("SNH_SOAK_RELAY_CHARACTERS", 4 << 20));
  ExpectVersionNext(host);
}

}  // namespace
}  // namespace snh::conformance
