// The escape-sequence processor against the std::regex form of its rules (the test oracle), both fed
// the same input in the reader's 1024-byte chunks, each behind the tail the previous chunk held back.
// Before timing, every input is run through both once and the results compared, so a fast but wrong
// processor cannot post a figure.

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "BenchInputs.h"
#include "output/RegexTerminalOracle.h"
#include "output/TerminalOutputProcessor.h"

namespace snh::bench {
namespace {

struct Rendering {
  std::string text;
  std::vector<std::string> titles;
  bool operator==(const Rendering&) const = default;
};

template <typename Processor>
Rendering Render(Processor& processor, const std::vector<std::string_view>& chunks) {
  Rendering rendering;
  for (std::string_view chunk : chunks) {
    ProcessedOutput out = processor.Process(chunk);
    rendering.text += out.processedContent;
    if (out.windowTitle) rendering.titles.push_back(*out.windowTitle);
  }
  return rendering;
}

// The oracle holds back no more than the processor does; without the bound, a title that never ends
// would be held back (and re-scanned) whole.
oracle::RegexTerminalOracle BoundedOracle() {
  return oracle::RegexTerminalOracle(TerminalOutputProcessor::kMaxPendingSequence);
}

template <typename Processor>
void Feed(benchmark::State& state, const std::string& data, const std::function<Processor()>& make) {
  const std::vector<std::string_view> chunks = Chunks(data);
  {
    TerminalOutputProcessor reference;
    oracle::RegexTerminalOracle regex = BoundedOracle();
    if (Render(reference, chunks) != Render(regex, chunks)) {
      state.SkipWithError("the processor and the regex form disagree on this input");
      return;
    }
  }
  Processor processor = make();
  for (auto _ : state) {
    for (std::string_view chunk : chunks) {
      ProcessedOutput out = processor.Process(chunk);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

struct Input {
  const char* name;
  std::function<std::string()> make;
};

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = {
      {"ascii", [] { return AsciiText(1 << 20); }},
      {"utf8", [] { return Utf8Text(1 << 20); }},
      {"ls-color", [] { return Recording("ls-color.vt"); }},
      {"top", [] { return Recording("top.vt"); }},
      {"vim", [] { return Recording("vim.vt"); }},
      {"title-unterminated", [] { return UnterminatedTitle(1 << 20); }},
  };
  return inputs;
}

void RegisterAll() {
  for (const Input& input : Inputs()) {
    const std::string data = input.make();
    benchmark::RegisterBenchmark(
        (std::string("processor/") + input.name).c_str(), [data](benchmark::State& state) {
          Feed<TerminalOutputProcessor>(state, data, [] { return TerminalOutputProcessor(); });
        });
    benchmark::RegisterBenchmark(
        (std::string("regex/") + input.name).c_str(),
        [data](benchmark::State& state) { Feed<oracle::RegexTerminalOracle>(state, data, BoundedOracle); });
  }
  // Linear time: the cost per byte of a title that never ends must not grow with its length.
  benchmark::RegisterBenchmark(
      "processor-scaling/title-unterminated",
      [](benchmark::State& state) {
        const std::string data = UnterminatedTitle(static_cast<std::size_t>(state.range(0)));
        Feed<TerminalOutputProcessor>(state, data, [] { return TerminalOutputProcessor(); });
        state.SetComplexityN(state.range(0));
      })
      ->RangeMultiplier(8)
      ->Range(64 << 10, 16 << 20)
      ->Complexity(benchmark::oN);
}

}  // namespace
}  // namespace snh::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  snh::bench::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
