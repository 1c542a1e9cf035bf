// Strict conversions between UTF-8 texts and the UTF-16 strings of the Win32 API.
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

}  // namespace runtime

#endif
