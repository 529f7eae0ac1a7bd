#pragma once

// Builds a Windows command line that the client's CommandLineToArgvW (and the C runtime) split back
// into exactly the original arguments; for a batch file, one that cmd.exe passes on literally.

#include <string>
#include <string_view>
#include <vector>

#include "codec/RequestRefused.h"

namespace snh {

namespace texts {
inline constexpr const char* kQuoteInFileName = "Invalid fileName: a program name cannot hold a double quote";
inline constexpr const char* kUnsafeBatchArgument =
    "Unsafe batch file argument: cmd.exe cannot pass %, a double quote, a line break or NUL literally";
}  // namespace texts

// A file name or argument that no command line can carry as it is; what() is one of the texts above.
class UnsafeCommandLine : public RequestRefused {
 public:
  using RequestRefused::RequestRefused;
};

// Appends one argument, quoted only where needed, separated from what is already there by a space.
void AppendQuotedArgument(std::u16string& commandLine, std::u16string_view argument);

// The file name and the arguments (UTF-8), each quoted as above, as one UTF-16 command line.
std::u16string BuildCommandLine(std::string_view fileName, const std::vector<std::string>& arguments);

// Whether Windows runs `fileName` through cmd.exe: it ends in .bat or .cmd in any case, once the trailing
// dots and spaces that Windows drops from a path are gone.
bool IsBatchFile(std::string_view fileName);

// The command line of cmd.exe running a batch file, which cmd.exe splits by its own rules and expands.
// An argument with a character cmd.exe reads specially is quoted; one that quoting cannot protect, in
// the file name too, raises UnsafeCommandLine.
std::u16string BuildBatchCommandLine(std::string_view fileName, const std::vector<std::string>& arguments);

// The command line that starts `fileName`: cmd.exe's for a batch file, the runtime's otherwise.
// Raises UnsafeCommandLine for a file name with a double quote, which no program name can carry.
std::u16string BuildClientCommandLine(std::string_view fileName, const std::vector<std::string>& arguments);

}  // namespace snh
