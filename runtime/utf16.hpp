// Conversions between UTF-8 texts and the UTF-16 strings of the Win32 API: strict ones that
// refuse malformed input with an empty result, and one lenient one for names the system hands us.
#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

namespace runtime {

// Empty when the text is empty, not valid UTF-8, longer than 131068 bytes or longer than
// 32768 UTF-16 units.
std::wstring utf8ToUtf16(std::string_view text);
// Empty when the text is empty, holds an unpaired surrogate, or its UTF-8 form would be
// longer than 131068 bytes.
std::string utf16ToUtf8(std::wstring_view text);
// Lenient, for names the system reports and the program only shows or passes back: each unpaired
// surrogate becomes U+FFFD. Empty when the text is empty or longer than 32768 UTF-16 units.
std::string utf16ToUtf8Replacing(std::wstring_view text);

}  // namespace runtime

#endif
