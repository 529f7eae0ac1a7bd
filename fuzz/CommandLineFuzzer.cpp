// Command-line quoting against the C runtime's argument splitting: any program name and argument list
// (UTF-8, NUL ending each) comes back whole from the command line built for it. A program name holds
// no double quote (Windows file names cannot) and does not end in a backslash (that names a directory):
// the runtime splits the program name without escapes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "codec/CommandLine.h"
#include "codec/Utf.h"
#include "codec/WindowsArgvParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace snh;
  FuzzedDataProvider provider(data, size);
  const std::string fileName = provider.ConsumeRandomLengthString(64);
  std::vector<std::string> arguments(provider.ConsumeIntegralInRange<std::size_t>(0, 12));
  for (std::string& argument : arguments) argument = provider.ConsumeRandomLengthString(64);

  std::vector<std::u16string> expected{ToUtf16(fileName)};
  if (expected[0].find(u'"') != std::u16string::npos ||
      (!expected[0].empty() && expected[0].back() == u'\\')) {
    return -1;  // not a program name; keeps the input out of the corpus
  }
  for (const std::string& argument : arguments) expected.push_back(ToUtf16(argument));

  const std::u16string commandLine = BuildCommandLine(fileName, arguments);
  FUZZ_CHECK(test::SplitWindowsCommandLine(commandLine) == expected, "arguments come back whole");
  return 0;
}
