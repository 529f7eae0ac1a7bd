#include "session/CommandLine.h"

#include <cstddef>

#include "codec/Utf.h"

namespace snh {

namespace {

// Characters that make the C runtime split an argument or read it specially.
bool NeedsQuoting(std::u16string_view argument) {
  return argument.empty() || argument.find_first_of(u" \t\n\v\"") != std::u16string_view::npos;
}

}  // namespace

void AppendQuotedArgument(std::u16string& commandLine, std::u16string_view argument) {
  if (!commandLine.empty()) {
    commandLine.push_back(u' ');
  }
  if (!NeedsQuoting(argument)) {
    commandLine.append(argument);
    return;
  }

  commandLine.push_back(u'"');
  std::size_t position = 0;
  while (true) {
    std::size_t backslashes = 0;
    while (position < argument.size() && argument[position] == u'\\') {
      ++backslashes;
      ++position;
    }
    if (position == argument.size()) {
      // Doubled, so that the closing quote is not escaped.
      commandLine.append(2 * backslashes, u'\\');
      break;
    }
    if (argument[position] == u'"') {
      // Doubled, plus one to escape the quote itself.
      commandLine.append(2 * backslashes + 1, u'\\');
    } else {
      // Backslashes not followed by a quote are taken literally.
      commandLine.append(backslashes, u'\\');
    }
    commandLine.push_back(argument[position]);
    ++position;
  }
  commandLine.push_back(u'"');
}

std::u16string BuildCommandLine(std::string_view fileName, const std::vector<std::string>& arguments) {
  std::u16string commandLine;
  AppendQuotedArgument(commandLine, ToUtf16(fileName));
  for (const std::string& argument : arguments) {
    AppendQuotedArgument(commandLine, ToUtf16(argument));
  }
  return commandLine;
}

}  // namespace snh
