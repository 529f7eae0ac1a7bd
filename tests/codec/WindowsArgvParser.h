#pragma once

// A test oracle: splits a command line the way the Microsoft C runtime (and, for the command lines
// that matter here, CommandLineToArgvW) does, so that quoting can be checked by round trip.

#include <string>
#include <string_view>
#include <vector>

namespace snh::test {

// Rules, as the current C runtime applies them:
// - Arguments are separated by runs of spaces and tabs outside quotes; no other character separates.
// - argv[0], the program name, takes the simpler rule: a double quote toggles quoting and is dropped,
//   a backslash is always literal, and the name ends at a space or tab outside quotes.
// - In every later argument, a run of n backslashes followed by a double quote gives n/2 backslashes;
//   when n is odd the quote is a literal character, when n is even it toggles quoting and is dropped.
//   Backslashes not followed by a quote are literal.
// - Inside quotes, two double quotes in a row (not escaped) give one literal quote, and quoting goes on.
// - An argument that is only quotes ("") is an empty argument; trailing spaces make no argument.
std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view commandLine);

}  // namespace snh::test
