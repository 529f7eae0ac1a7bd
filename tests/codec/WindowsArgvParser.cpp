#include "codec/WindowsArgvParser.h"

#include <cstddef>

namespace snh::test {

namespace {

bool IsSeparator(char16_t c) { return c == u' ' || c == u'\t'; }

class Cursor {
 public:
  explicit Cursor(std::u16string_view text) : text_(text) {}

  bool AtEnd() const { return position_ >= text_.size(); }
  char16_t Peek(std::size_t ahead = 0) const {
    return position_ + ahead < text_.size() ? text_[position_ + ahead] : u'\0';
  }
  void Advance() { ++position_; }
  void SkipSeparators() {
    while (!AtEnd() && IsSeparator(Peek())) Advance();
  }

 private:
  std::u16string_view text_;
  std::size_t position_ = 0;
};

std::u16string ReadProgramName(Cursor& cursor) {
  std::u16string name;
  bool inQuotes = false;
  while (!cursor.AtEnd() && (inQuotes || !IsSeparator(cursor.Peek()))) {
    if (cursor.Peek() == u'"') {
      inQuotes = !inQuotes;
    } else {
      name.push_back(cursor.Peek());
    }
    cursor.Advance();
  }
  return name;
}

std::u16string ReadArgument(Cursor& cursor) {
  std::u16string argument;
  bool inQuotes = false;
  while (true) {
    std::size_t backslashes = 0;
    while (!cursor.AtEnd() && cursor.Peek() == u'\\') {
      ++backslashes;
      cursor.Advance();
    }
    bool literal = true;
    if (!cursor.AtEnd() && cursor.Peek() == u'"') {
      if (backslashes % 2 == 0) {
        if (inQuotes && cursor.Peek(1) == u'"') {
          cursor.Advance();  // "" inside quotes: one literal quote
        } else {
          literal = false;
          inQuotes = !inQuotes;
        }
      }
      backslashes /= 2;
    }
    argument.append(backslashes, u'\\');
    if (cursor.AtEnd() || (!inQuotes && IsSeparator(cursor.Peek()))) {
      return argument;
    }
    if (literal) {
      argument.push_back(cursor.Peek());
    }
    cursor.Advance();
  }
}

}  // namespace

std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view commandLine) {
  Cursor cursor(commandLine);
  std::vector<std::u16string> argv{ReadProgramName(cursor)};
  while (true) {
    cursor.SkipSeparators();
    if (cursor.AtEnd()) {
      return argv;
    }
    argv.push_back(ReadArgument(cursor));
  }
}

}  // namespace snh::test
