// The message codec on the messages that carry output, one 1024-byte chunk each, and on the two
// requests that an extension sends most: connect and stdin; and requests of 64 KiB to 64 MiB.

#include <benchmark/benchmark.h>

#include <string>

#include "BenchInputs.h"
#include "codec/CodecTestText.h"
#include "codec/JsonModule.h"
#include "output/TerminalOutputProcessor.h"

namespace snh::bench {
namespace {

// Bytes that are not UTF-8 (lone continuation bytes, truncated sequences, C0/C1 controls): every
// one of them is repaired to U+FFFD or escaped.
std::string BinaryChunk() {
  std::string chunk(kChunkSize, '\0');
  unsigned state = 12345;
  for (char& byte : chunk) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>((state >> 16) & 0xFF);
    if (byte == '\0') byte = '\x01';  // a NUL would end the string early
  }
  return chunk;
}

void SerializeStdout(benchmark::State& state, const std::string& chunk) {
  Response message;
  message.type = "stdout";
  message.outputLine = chunk;
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string text = SerializeResponse(message);
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
  state.counters["json_bytes"] = static_cast<double>(bytes);
}

void BM_SerializeStdoutAscii(benchmark::State& state) { SerializeStdout(state, AsciiText(kChunkSize)); }
void BM_SerializeStdoutUtf8(benchmark::State& state) { SerializeStdout(state, Utf8Text(kChunkSize)); }
void BM_SerializeStdoutBinary(benchmark::State& state) { SerializeStdout(state, BinaryChunk()); }

void BM_SerializePseudoConsoleOutput(benchmark::State& state) {
  // A chunk of a real vim session, with its rendering, as the handler builds the message.
  const std::string chunk = Recording("vim.vt").substr(8 * kChunkSize, kChunkSize);
  TerminalOutputProcessor processor;
  ProcessedOutput processed = processor.Process(chunk);
  Response message;
  message.type = "pseudo_console_output";
  message.pseudoConsoleOutput = PseudoConsoleOutput{chunk, processed.processedContent, "vim: basic_string.h"};
  for (auto _ : state) {
    std::string text = SerializeResponse(message);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}

void Parse(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    Request request = ParseRequest(text);
    benchmark::DoNotOptimize(request);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ParseConnect(benchmark::State& state) {
  Parse(state, R"({"type":"connect","connectParams":{"fileName":"C:\\Windows\\System32\\OpenSSH\\ssh.exe",)"
               R"("arguments":["-p","22","-o","StrictHostKeyChecking=ask","-t","user@example.org"],)"
               R"("extensionVersion":"1.4.2","mode":"pseudo_console","consoleSize":{"x":50,"y":30},)"
               R"("pollingIntervalInSeconds":0.1}})");
}

void BM_ParseStdinKey(benchmark::State& state) { Parse(state, R"({"type":"stdin","input":"l"})"); }

// A stdin request pasting `size` bytes of text, with the line ends and quotes that JSON escapes.
std::string StdinPaste(std::size_t size) {
  std::string paste;
  for (char c : AsciiText(size)) {
    if (c == '\r')
      paste += "\\r";
    else if (c == '\n')
      paste += "\\n";
    else
      paste += c;
  }
  return R"({"type":"stdin","input":")" + paste + R"("})";
}

void BM_ParseStdinPaste(benchmark::State& state) { Parse(state, StdinPaste(kChunkSize)); }

// Requests by size, 64 KiB to 64 MiB: decoding must take time in proportion to the request.
void BM_DecodeStdinPaste(benchmark::State& state) {
  Parse(state, StdinPaste(static_cast<std::size_t>(state.range(0))));
}

void BM_DecodeNestedObjects(benchmark::State& state) {
  // Empty objects and objects nested 500 deep, none of them read.
  const std::string nested = std::string(500, '[') + R"({"a":{}})" + std::string(500, ']');
  const auto size = static_cast<std::size_t>(state.range(0));
  std::string padding;
  padding.reserve(size + nested.size() + 1024);
  while (padding.size() < size) {
    padding += nested;
    for (int i = 0; i < 256; ++i) padding += ",{}";
    padding += ',';
  }
  Parse(state, R"({"type":"getVersion","pad":[)" + padding + "{}]}");
}

BENCHMARK(BM_SerializeStdoutAscii);
BENCHMARK(BM_SerializeStdoutUtf8);
BENCHMARK(BM_SerializeStdoutBinary);
BENCHMARK(BM_SerializePseudoConsoleOutput);
BENCHMARK(BM_ParseConnect);
BENCHMARK(BM_ParseStdinKey);
BENCHMARK(BM_ParseStdinPaste);
BENCHMARK(BM_DecodeStdinPaste)->RangeMultiplier(4)->Range(64 << 10, 64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeNestedObjects)
    ->RangeMultiplier(4)
    ->Range(64 << 10, 64 << 20)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace snh::bench

BENCHMARK_MAIN();
