// snh_relay_bench: the host end to end, against the limit (a plain pipe copy with 1024-byte reads
// and writes) and against a peer host, in one run. Every relayed byte is checked against the pattern
// the client wrote. Prints one JSON object per measurement on standard output, progress on stderr.
//
//   snh_relay_bench --host COMMAND --writer PATH --copy COMMAND [--peer COMMAND] [--writer-command COMMAND]
//                   [--pty-copy COMMAND] [--spawning-copy COMMAND] [--mib 256] [--title-mib 64]
//                   [--round-trips 10000] [--starts 20] [--cycles 20] [--only NAME,...]
//
// A COMMAND is words separated by blanks (a program under Wine: "wine-run.sh --prefix DIR prog.exe").
// --writer is the client's path as the host is told it; --writer-command starts the same client for
// the pipe copy row (the writer path by default).
// --pty-copy COMMAND adds the limit of the pseudo-console rows: the same client copied from a pty (Linux).
// --spawning-copy COMMAND adds a row whose copy starts the client itself, as the host does:
// COMMAND WRITER pattern BYTES.

#include <signal.h>
#include <simdjson.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "RelayPattern.h"
#include "Spawn.h"
#include "platform/OsError.h"
#include "platform/PipeIo.h"

namespace snh::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

constexpr const char* kConsoleMode = "windows_console_without_polling";
constexpr const char* kPseudoConsoleMode = "pseudo_console";
constexpr std::string_view kExitNotice = "SSH Process exited";

// How long the client stays after its last write; the relay ends when the last byte arrives.
constexpr const char* kLingerMs = "3000";

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of the calling thread: the consumer's own cost, to tell a slow relay from a slow reader.
double ThreadCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  const auto seconds = [](timeval t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string Frame(const Json& request) {
  const std::string body = request.dump();
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string frame;
  for (int shift = 0; shift < 32; shift += 8) frame.push_back(static_cast<char>((length >> shift) & 0xFF));
  return frame + body;
}

// Splits the host's output into frames and reads the one string a relay message carries.
class FrameStream {
 public:
  explicit FrameStream(int fd) : fd_(fd) {}

  // The next frame's body, or false at end of stream. The view lasts until the next call.
  bool Next(std::string_view& body) {
    for (;;) {
      const std::size_t available = end_ - begin_;
      if (available >= 4) {
        std::uint32_t length = 0;
        for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(buffer_[begin_ + i]);
        if (length > (1u << 20)) throw std::runtime_error("frame of " + std::to_string(length) + " bytes");
        if (available >= 4 + length) {
          body = std::string_view(buffer_.data() + begin_ + 4, length);
          begin_ += 4 + length;
          return true;
        }
      }
      if (begin_ > 0) {
        std::copy(buffer_.begin() + begin_, buffer_.begin() + end_, buffer_.begin());
        end_ -= begin_;
        begin_ = 0;
      }
      const std::size_t count = ReadSome(fd_, buffer_.data() + end_, kCapacity - end_);
      if (count == 0) return false;
      end_ += count;
    }
  }

 private:
  static constexpr std::size_t kCapacity = 4 << 20;
  int fd_;
  std::vector<char> buffer_ = std::vector<char>(kCapacity + simdjson::SIMDJSON_PADDING);
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

class MessageReader {
 public:
  // The message's type and, for stdout and pseudo_console_output, its payload (outputLine, rawContent).
  void Read(std::string_view body, std::string& type, std::string& payload) {
    padded_.assign(body.begin(), body.end());
    padded_.resize(body.size() + simdjson::SIMDJSON_PADDING);
    simdjson::ondemand::document doc =
        parser_.iterate(simdjson::padded_string_view(padded_.data(), body.size(), padded_.size()));
    payload.clear();
    type = std::string(std::string_view(doc["type"]));
    if (type == "stdout") {
      payload = std::string_view(doc["outputLine"]);
    } else if (type == "pseudo_console_output") {
      payload = std::string_view(doc["pseudoConsoleOutput"]["rawContent"]);
    }
  }

 private:
  simdjson::ondemand::parser parser_;
  std::vector<char> padded_;
};

// Compares the relayed bytes with the pattern at the same offset.
class PatternCheck {
 public:
  void Check(std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
      const std::size_t at = offset_ % pattern_.size();
      const std::size_t count = std::min(bytes.size() - done, pattern_.size() - at);
      if (bytes.substr(done, count) != std::string_view(pattern_).substr(at, count)) {
        throw std::runtime_error("relayed bytes differ from the pattern near offset " +
                                 std::to_string(offset_));
      }
      done += count;
      offset_ += count;
    }
  }
  std::size_t checked() const { return offset_; }

 private:
  std::string pattern_ = MakePattern();
  std::size_t offset_ = 0;
};

// Samples a process's RSS until stopped; "steady" is the median of the second half of the samples.
// Both results stop the sampling first.
class RssSampler {
 public:
  explicit RssSampler(pid_t pid) : pid_(pid), thread_([this] { Run(); }) {}
  ~RssSampler() { Stop(); }
  void Stop() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  std::size_t PeakKiB() {
    Stop();
    return peak_;
  }
  std::size_t SteadyKiB() {
    Stop();
    if (samples_.empty()) return 0;
    std::vector<std::size_t> late(samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() / 2),
                                  samples_.end());
    std::nth_element(late.begin(), late.begin() + static_cast<std::ptrdiff_t>(late.size() / 2), late.end());
    return late[late.size() / 2];
  }

 private:
  void Run() {
    while (running_) {
      const Rss rss = ReadRss(pid_);
      if (rss.current > 0) samples_.push_back(rss.current);
      peak_ = std::max(peak_, rss.peak);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  pid_t pid_;
  std::atomic<bool> running_{true};
  // Written only by the sampler thread; read only after Stop has joined it.
  std::vector<std::size_t> samples_;
  std::size_t peak_ = 0;
  std::thread thread_;
};

struct Options {
  std::vector<std::string> host, peer, copy, writerCommand;
  std::vector<std::string> ptyCopy, spawningCopy;  // empty: no such row
  std::string writer;
  std::size_t mib = 256, titleMib = 64, roundTrips = 10000, starts = 20, cycles = 20;
};

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// A host started as a browser starts it, with pipes on stdin and stdout.
struct RunningHost {
  explicit RunningHost(const std::vector<std::string>& command)
      : input(MakePipe()), output(MakePipe()), process(command, input.read.get(), output.write.get()) {
    input.read.reset();
    output.write.reset();
  }
  void Send(const Json& request) {
    const WriteResult result = WriteWhole(input.write.get(), Frame(request));
    if (result.outcome != WriteOutcome::kDone) RaiseSystemError("write", result.error);
  }
  // Closes the host's input (it then ends) and waits for it.
  void End() {
    input.write.reset();
    process.Wait(std::chrono::seconds(10));
  }
  PipeEnds input, output;
  Process process;
};

Json Connect(const std::string& fileName, const std::vector<std::string>& arguments,
             const std::string& mode) {
  return {{"type", "connect"},
          {"connectParams", {{"fileName", fileName}, {"arguments", arguments}, {"mode", mode}}}};
}

// The relay of `bytes` pattern bytes (or a title command of that many) through a host in `mode`.
Json Relay(const std::vector<std::string>& host, const std::string& name, const std::string& writer,
           const std::string& what, const std::string& mode, std::size_t bytes) {
  RunningHost running(host);
  RssSampler sampler(running.process.pid());
  FrameStream frames(running.output.read.get());
  MessageReader reader;
  PatternCheck check;
  const std::size_t expected = what == "title" ? bytes + 4 : bytes;
  std::size_t relayed = 0, messages = 0;
  const double consumerStart = ThreadCpuSeconds();
  const auto start = Clock::now();
  running.Send(Connect(writer, {what, std::to_string(bytes), kLingerMs}, mode));
  std::string_view body;
  std::string type, payload;
  while (relayed < expected && frames.Next(body)) {
    reader.Read(body, type, payload);
    if (type == "error")
      throw std::runtime_error(name + ": the host reported an error: " + std::string(body));
    if (payload.empty()) continue;
    ++messages;
    if (what == "title") {
      // The title command's 4-byte introducer comes first; everything after it is the pattern.
      const std::size_t skip = relayed < 4 ? std::min<std::size_t>(4 - relayed, payload.size()) : 0;
      check.Check(std::string_view(payload).substr(skip));
    } else {
      check.Check(payload);
    }
    relayed += payload.size();
  }
  const double seconds = Seconds(Clock::now() - start);
  const double consumerCpu = ThreadCpuSeconds() - consumerStart;
  const std::size_t peak = std::max(sampler.PeakKiB(), ReadRss(running.process.pid()).peak);
  const std::size_t steady = sampler.SteadyKiB();
  running.End();
  const double cpu = running.process.cpuSeconds();
  if (relayed != expected) {
    throw std::runtime_error(name + ": " + std::to_string(relayed) + " of " + std::to_string(expected) +
                             " bytes arrived");
  }
  return {{"name", name},
          {"bytes", relayed},
          {"seconds", seconds},
          {"mib_per_s", static_cast<double>(relayed) / (1 << 20) / seconds},
          {"messages", messages},
          {"peak_rss_kib", peak},
          {"steady_rss_kib", steady},
          {"cpu_seconds", cpu},
          {"consumer_cpu_seconds", consumerCpu}};
}

// Reads the copy's output to its end, checking it against the pattern.
Json CopyResult(const std::string& name, int output, Process& copy, std::size_t bytes,
                Clock::time_point start, double consumerStart) {
  PatternCheck check;
  std::vector<char> buffer(1 << 16);
  while (const std::size_t count = ReadSome(output, buffer.data(), buffer.size())) {
    check.Check(std::string_view(buffer.data(), count));
  }
  const double seconds = Seconds(Clock::now() - start);
  const double consumerCpu = ThreadCpuSeconds() - consumerStart;
  copy.Wait(std::chrono::seconds(10));
  if (check.checked() != bytes) throw std::runtime_error(name + ": bytes missing");
  return {{"name", name},
          {"bytes", bytes},
          {"seconds", seconds},
          {"mib_per_s", static_cast<double>(bytes) / (1 << 20) / seconds},
          {"cpu_seconds", copy.cpuSeconds()},
          {"consumer_cpu_seconds", consumerCpu}};
}

std::vector<std::string> WriterCommand(const Options& options, std::size_t bytes) {
  std::vector<std::string> command = options.writerCommand;
  command.insert(command.end(), {"pattern", std::to_string(bytes)});
  return command;
}

// The limit: writer | snh_pipe_copy | this process, checked the same way.
Json PipeCopy(const Options& options, std::size_t bytes) {
  PipeEnds first = MakePipe(), second = MakePipe();
  PipeEnds idle = MakePipe();
  const double consumerStart = ThreadCpuSeconds();
  const auto start = Clock::now();
  Process writer(WriterCommand(options, bytes), idle.read.get(), first.write.get());
  Process copy(options.copy, first.read.get(), second.write.get());
  first.read.reset();
  first.write.reset();
  second.write.reset();
  Json result = CopyResult("pipe-copy", second.read.get(), copy, bytes, start, consumerStart);
  writer.Wait(std::chrono::seconds(10));
  return result;
}

// A copy that starts the writer itself (`command` ends with the writer's command) and writes to this
// process: snh_pty_copy on a pty, or snh_pipe_copy on the host's kind of pipe.
Json StartingCopy(const std::string& name, const std::vector<std::string>& command, std::size_t bytes) {
  PipeEnds output = MakePipe();
  PipeEnds idle = MakePipe();
  const double consumerStart = ThreadCpuSeconds();
  const auto start = Clock::now();
  Process copy(command, idle.read.get(), output.write.get());
  output.write.reset();
  return CopyResult(name, output.read.get(), copy, bytes, start, consumerStart);
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(fraction * static_cast<double>(values.size())))];
}

// `stdin` round trips through cat in the console mode: from the request frame to the echoed stdout.
Json Latency(const std::vector<std::string>& host, const std::string& name, std::size_t count) {
  RunningHost running(host);
  FrameStream frames(running.output.read.get());
  MessageReader reader;
  running.Send(Connect("cat", {}, kConsoleMode));
  std::vector<double> micros;
  micros.reserve(count);
  std::string_view body;
  std::string type, payload;
  for (std::size_t i = 0; i < count; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "ping %08zu\n", i);
    const auto start = Clock::now();
    running.Send({{"type", "stdin"}, {"input", line}});
    std::string echoed;
    while (echoed.size() < std::strlen(line)) {
      if (!frames.Next(body)) throw std::runtime_error(name + ": the host ended during the round trips");
      reader.Read(body, type, payload);
      if (type == "stdout") echoed += payload;
    }
    micros.push_back(Seconds(Clock::now() - start) * 1e6);
    if (echoed != line) throw std::runtime_error(name + ": echoed \"" + echoed + "\" for \"" + line + "\"");
  }
  running.End();
  return {{"name", name},
          {"round_trips", count},
          {"p50_us", Percentile(micros, 0.50)},
          {"p99_us", Percentile(micros, 0.99)},
          {"max_us", Percentile(micros, 1.0)}};
}

// From starting the host to its reply to getVersion.
Json StartUp(const std::vector<std::string>& host, const std::string& name, std::size_t starts) {
  std::vector<double> millis;
  for (std::size_t i = 0; i < starts; ++i) {
    const auto start = Clock::now();
    RunningHost running(host);
    running.Send({{"type", "getVersion"}});
    FrameStream frames(running.output.read.get());
    std::string_view body;
    if (!frames.Next(body) || body.find("\"version\"") == std::string_view::npos) {
      throw std::runtime_error(name + ": no version reply");
    }
    millis.push_back(Seconds(Clock::now() - start) * 1e3);
    running.End();
  }
  return {{"name", name},
          {"starts", starts},
          {"p50_ms", Percentile(millis, 0.5)},
          {"p90_ms", Percentile(millis, 0.9)}};
}

// Reads until `bytes` bytes of client output have arrived; the time of the first of them. An exit
// notice on the way is skipped when `skipNotice` (the previous client's), an error otherwise.
Clock::time_point AwaitOutput(FrameStream& frames, MessageReader& reader, std::size_t bytes, bool skipNotice,
                              const std::string& name, Clock::time_point* last = nullptr) {
  std::string_view body;
  std::string type, payload;
  std::optional<Clock::time_point> first;
  for (std::size_t arrived = 0; arrived < bytes;) {
    if (!frames.Next(body)) throw std::runtime_error(name + ": the host ended");
    reader.Read(body, type, payload);
    if (type == "error") {
      if (skipNotice && body.find(kExitNotice) != std::string_view::npos && !first) continue;
      throw std::runtime_error(name + ": unexpected " + std::string(body));
    }
    if (payload.empty()) continue;
    const auto now = Clock::now();
    if (!first) first = now;
    if (last) *last = now;
    arrived += payload.size();
  }
  return *first;
}

void AwaitNotice(FrameStream& frames, MessageReader& reader, const std::string& name) {
  std::string_view body;
  std::string type, payload;
  for (;;) {
    if (!frames.Next(body)) throw std::runtime_error(name + ": the host ended before the exit notice");
    reader.Read(body, type, payload);
    if (type == "error" && body.find(kExitNotice) != std::string_view::npos) return;
    if (!payload.empty()) throw std::runtime_error(name + ": output after the client's last");
  }
}

// The two ends of a session on one host, `count` times: a client that stays (its first output, the
// client's own start), a disconnect followed at once by a connect (to the new client's first output),
// and that client's exit on its own after its output (from its last output to the exit notice).
Json SessionEnds(const std::vector<std::string>& host, const std::string& name, const std::string& writer,
                 const std::string& mode, std::size_t count) {
  RunningHost running(host);
  FrameStream frames(running.output.read.get());
  MessageReader reader;
  constexpr std::size_t kStayingBytes = 1024, kEndingBytes = 4096;
  const Json staying = Connect(writer, {"pattern", std::to_string(kStayingBytes), "30000"}, mode);
  const Json ending = Connect(writer, {"pattern", std::to_string(kEndingBytes)}, mode);
  std::vector<double> firstMs, reconnectMs, noticeMs;
  for (std::size_t i = 0; i < count; ++i) {
    auto start = Clock::now();
    // The connection lasts past the client's exit until a disconnect.
    if (i > 0) running.Send({{"type", "disconnect"}});
    running.Send(staying);
    firstMs.push_back(Seconds(AwaitOutput(frames, reader, kStayingBytes, false, name) - start) * 1e3);
    start = Clock::now();
    running.Send({{"type", "disconnect"}});
    running.Send(ending);
    Clock::time_point last;
    reconnectMs.push_back(Seconds(AwaitOutput(frames, reader, kEndingBytes, true, name, &last) - start) *
                          1e3);
    AwaitNotice(frames, reader, name);
    noticeMs.push_back(Seconds(Clock::now() - last) * 1e3);
  }
  running.End();
  const auto figures = [](const std::vector<double>& millis) {
    return Json{{"p50_ms", Percentile(millis, 0.5)},
                {"p90_ms", Percentile(millis, 0.9)},
                {"max_ms", Percentile(millis, 1.0)}};
  };
  return {{"name", name},
          {"cycles", count},
          {"first_output", figures(firstMs)},
          {"reconnect", figures(reconnectMs)},
          {"exit_notice", figures(noticeMs)}};
}

void Emit(const Json& result) {
  std::cout << result.dump() << std::endl;
  std::cerr << "  " << result.dump() << "\n";
}

}  // namespace
}  // namespace snh::bench

int main(int argc, char** argv) {
  using namespace snh::bench;
  ::signal(SIGPIPE, SIG_IGN);
  Options options;
  std::map<std::string, std::string> given;
  for (int i = 1; i + 1 < argc; i += 2) given[argv[i]] = argv[i + 1];
  options.host = Words(given["--host"]);
  options.writer = given["--writer"];
  options.writerCommand = Words(given.count("--writer-command") ? given["--writer-command"] : options.writer);
  options.copy = Words(given["--copy"]);
  options.ptyCopy = Words(given["--pty-copy"]);
  options.peer = Words(given["--peer"]);
  options.spawningCopy = Words(given["--spawning-copy"]);
  if (given.count("--mib")) options.mib = std::stoul(given["--mib"]);
  if (given.count("--title-mib")) options.titleMib = std::stoul(given["--title-mib"]);
  if (given.count("--round-trips")) options.roundTrips = std::stoul(given["--round-trips"]);
  if (given.count("--starts")) options.starts = std::stoul(given["--starts"]);
  if (given.count("--cycles")) options.cycles = std::stoul(given["--cycles"]);
  if (options.host.empty() || options.writer.empty() || options.copy.empty()) {
    std::cerr << "usage: snh_relay_bench --host COMMAND --writer PATH --copy COMMAND [--peer COMMAND]\n"
                 "         [--writer-command COMMAND] [--pty-copy COMMAND] [--spawning-copy COMMAND]\n"
                 "         [--mib N] [--title-mib N] [--round-trips N] [--starts N] [--cycles N] [--only "
                 "NAME,...]\n";
    return 2;
  }
  const std::size_t bytes = options.mib << 20;
  const std::vector<std::string>& host = options.host;
  // --only NAME[,NAME...] runs just those measurements (for profiling one of them).
  const std::string only = given.count("--only") ? "," + given["--only"] + "," : "";
  const auto wanted = [&](const std::string& name) {
    return only.empty() || only.find("," + name + ",") != std::string::npos;
  };
  const bool withPeer = !options.peer.empty();
  try {
    if (wanted("pipe-copy")) Emit(PipeCopy(options, bytes));
    if (wanted("pty-copy") && !options.ptyCopy.empty()) {
      std::vector<std::string> command = options.ptyCopy;
      const std::vector<std::string> writer = WriterCommand(options, bytes);
      command.insert(command.end(), writer.begin(), writer.end());
      Emit(StartingCopy("pty-copy", command, bytes));
    }
    if (wanted("spawning-copy") && !options.spawningCopy.empty()) {
      std::vector<std::string> command = options.spawningCopy;
      command.insert(command.end(), {options.writer, "pattern", std::to_string(bytes)});
      Emit(StartingCopy("spawning-copy", command, bytes));
    }
    for (const auto& [name, command, mode] :
         {std::tuple{"host-stdout", host, kConsoleMode}, std::tuple{"host-pty", host, kPseudoConsoleMode},
          std::tuple{"peer-stdout", options.peer, kConsoleMode},
          std::tuple{"peer-pty", options.peer, kPseudoConsoleMode}}) {
      if (wanted(name) && !command.empty())
        Emit(Relay(command, name, options.writer, "pattern", mode, bytes));
    }
    if (wanted("host-title")) {
      Emit(Relay(host, "host-title", options.writer, "title", kPseudoConsoleMode, options.titleMib << 20));
    }
    if (wanted("host-latency")) Emit(Latency(host, "host-latency", options.roundTrips));
    if (wanted("peer-latency") && withPeer) Emit(Latency(options.peer, "peer-latency", options.roundTrips));
    if (wanted("host-ends-stdout"))
      Emit(SessionEnds(host, "host-ends-stdout", options.writer, kConsoleMode, options.cycles));
    if (wanted("host-ends-pty"))
      Emit(SessionEnds(host, "host-ends-pty", options.writer, kPseudoConsoleMode, options.cycles));
    if (wanted("host-startup")) Emit(StartUp(host, "host-startup", options.starts));
    if (wanted("peer-startup") && withPeer) Emit(StartUp(options.peer, "peer-startup", options.starts));
  } catch (const std::exception& failure) {
    std::cerr << "snh_relay_bench: " << failure.what() << "\n";
    return 1;
  }
  return 0;
}
