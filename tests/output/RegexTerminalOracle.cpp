#include "output/RegexTerminalOracle.h"

#include <stdexcept>
#include <string_view>
#include <utility>

// GCC 12 with the sanitizers reports a false "may be used uninitialized" inside libstdc++'s regex
// compiler (a std::function in its state table); the code is the library's, not ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>

namespace snh::oracle {
namespace {

// The five patterns exactly as the rules write them. Raw strings: every backslash is a backslash
// character of the pattern.
constexpr std::string_view kTwoByteFinal = R"(^[@-Z\\^_0-9]$)";
constexpr std::string_view kControlSequence = R"(^[0-?]*[ -/]*[@-~])";
constexpr std::string_view kControlSequencePrefix = R"(^(?:[0-?]+[ -/]*|[ -/]+|)$)";
constexpr std::string_view kOperatingSystemCommand = R"(^([0-9]+);([^\x07\x1b]*)(?:\x07|\x1b\x5c))";
constexpr std::string_view kOperatingSystemCommandPrefix = R"(^(?:[0-9]+;[^\x07\x1b]*|[0-9]+;?|[0-9]+|)$)";
// The processor's change: a command whose text is followed by an ESC that ends the input is a prefix too.
constexpr std::string_view kCommandBeforeTerminatorEsc = R"(^[0-9]+;[^\x07\x1b]*\x1b$)";
static_assert(kTwoByteFinal.size() == 14, "pattern 1 is 14 characters long");

// Compiled once, in their order, on the first call (a function-local static is initialised once,
// also under concurrent first calls). ECMAScript grammar, default options.
struct Patterns {
  std::regex twoByteFinal{std::string(kTwoByteFinal)};
  std::regex controlSequence{std::string(kControlSequence)};
  std::regex controlSequencePrefix{std::string(kControlSequencePrefix)};
  std::regex operatingSystemCommand{std::string(kOperatingSystemCommand)};
  std::regex operatingSystemCommandPrefix{std::string(kOperatingSystemCommandPrefix)};
  std::regex commandBeforeTerminatorEsc{std::string(kCommandBeforeTerminatorEsc)};
};

}  // namespace

ProcessedOutput RegexProcessTerminalOutput(const std::string& input, std::string& pendingSequence,
                                           std::optional<std::size_t> maxPendingSequence) {
  static const Patterns patterns;

  pendingSequence.clear();
  std::string text;
  std::optional<std::string> title;
  std::size_t p = 0;
  const auto end = input.end();

  // Every place the algorithm holds the sequence at p back. Returns false when the bound refuses it: then
  // ESC and the next byte have been copied and p is past them.
  const auto holdBack = [&]() {
    if (maxPendingSequence && input.size() - p > *maxPendingSequence && p + 1 < input.size()) {
      text.append(input, p, 2);
      p += 2;
      return false;
    }
    pendingSequence = input.substr(p);
    return true;
  };

  // Whether the complete sequence at p that `match` ends fits the bound but for its last byte.
  const auto fits = [&](const std::smatch& match) {
    return !maxPendingSequence ||
           static_cast<std::size_t>(match[0].second - input.begin()) - 1 - p <= *maxPendingSequence;
  };

  // Scan the input.
  while (p < input.size()) {
    // Plain bytes are text.
    const char b = input[p];
    if (b != '\x1b') {
      text += b;
      ++p;
      continue;
    }
    // A lone ESC at the end waits for the next chunk.
    if (p + 1 == input.size()) {
      if (holdBack()) break;
      continue;
    }
    // Two-byte sequences.
    const char c = input[p + 1];
    if (std::regex_match(std::string(1, c), patterns.twoByteFinal)) {
      p += 2;
      continue;
    }
    // Control sequences.
    if (c == '[') {
      if (p + 2 == input.size()) {  // only "ESC [" so far
        if (holdBack()) break;
        continue;
      }
      std::smatch match;
      if (std::regex_search(input.begin() + static_cast<std::ptrdiff_t>(p + 2), end, match,
                            patterns.controlSequence) &&
          fits(match)) {  // complete
        p = static_cast<std::size_t>(match[0].second - input.begin());
        continue;
      }
      if (std::regex_search(input.begin() + static_cast<std::ptrdiff_t>(p + 2), end, match,
                            patterns.controlSequencePrefix)) {  // unfinished at the end
        if (holdBack()) break;
        continue;
      }
      text += "\x1b[";  // not a control sequence: text
      p += 2;
      continue;
    }
    // Operating system commands.
    if (c == ']') {
      if (p + 2 == input.size()) {  // only "ESC ]" so far
        if (holdBack()) break;
        continue;
      }
      std::smatch match;
      if (std::regex_search(input.begin() + static_cast<std::ptrdiff_t>(p + 2), end, match,
                            patterns.operatingSystemCommand) &&
          fits(match)) {  // complete
        int number = -1;
        try {
          number = std::stoi(match[1].str());
        } catch (const std::out_of_range&) {
          number = -1;  // the processor's change: no effect, no exception
        }
        if (number == 0 || number == 2) title = match[2].str();
        p = static_cast<std::size_t>(match[0].second - input.begin());
        continue;
      }
      if (std::regex_search(input.begin() + static_cast<std::ptrdiff_t>(p + 2), end, match,
                            patterns.operatingSystemCommandPrefix)) {  // unfinished at the end
        if (holdBack()) break;
        continue;
      }
      if (std::regex_search(input.begin() + static_cast<std::ptrdiff_t>(p + 2), end, match,
                            patterns.commandBeforeTerminatorEsc)) {  // the processor's change
        if (holdBack()) break;
        continue;
      }
      text += "\x1b]";  // not a command: text
      p += 2;
      continue;
    }
    // Any other ESC pair is text.
    text += '\x1b';
    text += c;
    p += 2;
  }

  return ProcessedOutput{std::move(text), std::move(title)};
}

ProcessedOutput RegexTerminalOracle::Process(std::string_view chunk) {
  const std::string input = pendingSequence_ + std::string(chunk);
  return RegexProcessTerminalOutput(input, pendingSequence_, maxPendingSequence_);
}

}  // namespace snh::oracle

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
