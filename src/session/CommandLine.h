#pragma once

// Builds a Windows command line that the client's CommandLineToArgvW (and the C runtime) split back
// into exactly the original arguments.

#include <string>
#include <string_view>
#include <vector>

namespace snh {

// Appends one argument, quoted only where needed, separated from what is already there by a space.
void AppendQuotedArgument(std::u16string& commandLine, std::u16string_view argument);

// The file name and the arguments (UTF-8), each quoted as above, as one UTF-16 command line.
std::u16string BuildCommandLine(std::string_view fileName, const std::vector<std::string>& arguments);

}  // namespace snh
