#pragma once

// Text for Windows' wide-character calls, which take UTF-16 in wchar_t: Utf.h's conversions, typed
// for them. Windows builds only: elsewhere wchar_t is not a UTF-16 unit.

#include <string>
#include <string_view>

#include "codec/Utf.h"

namespace snh {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide text is UTF-16 only where wchar_t has 16 bits");

inline std::wstring ToWide(std::u16string_view utf16) { return std::wstring(utf16.begin(), utf16.end()); }
inline std::wstring ToWide(std::string_view utf8) { return ToWide(ToUtf16(utf8)); }
inline std::string ToUtf8(std::wstring_view wide) { return ToUtf8(std::u16string(wide.begin(), wide.end())); }

}  // namespace snh
