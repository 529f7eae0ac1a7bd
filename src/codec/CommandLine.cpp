#include "codec/CommandLine.h"

#include <algorithm>
#include <cstddef>

#include "codec/Utf.h"

namespace snh {

namespace {

// Characters that make the C runtime split an argument or read it specially.
bool NeedsQuoting(std::u16string_view argument) {
  return argument.empty() || argument.find_first_of(u" \t\n\v\"") != std::u16string_view::npos;
}

// cmd.exe expands % even inside quotes and ends the command at a line break or NUL; a quote inside a
// quoted argument cannot be escaped for it.
bool IsUnsafeForBatch(std::string_view text) {
  return text.find_first_of(std::string_view("%\"\r\n\0", 5)) != std::string_view::npos;
}

// Characters that split a batch file's arguments or act on cmd.exe's line unless quoted.
bool NeedsBatchQuoting(std::string_view text) {
  return text.empty() || text.find_first_of(" \t\v\f&|<>()^,;=[]{}'+`~@") != std::string_view::npos;
}

// No backslash escapes: cmd.exe takes backslashes literally, and no quote is left inside to escape.
void AppendBatchText(std::u16string& commandLine, std::string_view argument, bool quoted) {
  if (IsUnsafeForBatch(argument)) throw UnsafeCommandLine(texts::kUnsafeBatchArgument);
  if (quoted) commandLine.push_back(u'"');
  commandLine.append(ToUtf16(argument));
  if (quoted) commandLine.push_back(u'"');
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

bool IsBatchFile(std::string_view fileName) {
  const std::size_t end = fileName.find_last_not_of(". ");
  if (end == std::string_view::npos || end < 3) return false;
  std::string extension(fileName.substr(end - 3, 4));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return extension == ".bat" || extension == ".cmd";
}

std::u16string BuildBatchCommandLine(std::string_view fileName, const std::vector<std::string>& arguments) {
  // /d: no AutoRun commands; /v:off: ! is plain text; /s: the outer quotes go, whatever is inside.
  std::u16string commandLine = u"cmd.exe /d /e:on /v:off /s /c \"";
  AppendBatchText(commandLine, fileName, /*quoted=*/true);
  for (const std::string& argument : arguments) {
    commandLine.push_back(u' ');
    AppendBatchText(commandLine, argument, NeedsBatchQuoting(argument));
  }
  commandLine.push_back(u'"');
  return commandLine;
}

std::u16string BuildClientCommandLine(std::string_view fileName, const std::vector<std::string>& arguments) {
  // The runtime splits a program name without escapes, so a quote in it would end the name early.
  if (fileName.find('"') != std::string_view::npos) throw UnsafeCommandLine(texts::kQuoteInFileName);
  return IsBatchFile(fileName) ? BuildBatchCommandLine(fileName, arguments)
                               : BuildCommandLine(fileName, arguments);
}

}  // namespace snh
