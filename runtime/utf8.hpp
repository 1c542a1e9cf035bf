// UTF-8 and UTF-16 one character at a time, for code that walks or builds texts itself: the
// length of the well-formed character at a position, where the last character starts, the bytes
// of a code point, and UTF-16 surrogate pairs. Malformed input is reported, never repaired.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace runtime {

// A byte of the form 10xxxxxx, which only continues a character.
inline bool isUtf8Continuation(unsigned char byte) { return (byte & 0xC0u) == 0x80u; }

// The length in bytes (1 to 4) of the well-formed character starting at `pos`, as RFC 3629
// defines it (no overlongs, surrogates or values above U+10FFFF); 0 when the bytes there do not
// form one, including a character cut off by the end of the text. Every byte below 0x80 is a
// character of its own. `pos` must lie inside the text.
std::size_t utf8CharacterLength(std::string_view text, std::size_t pos);

// Where the last character starts: the last byte that is not a continuation byte, or 0 when
// there is none. The empty text gives 0.
std::size_t utf8LastCharacterStart(std::string_view text);

// The UTF-8 bytes of a code point (1 to 4 bytes); empty above 0x10FFFF. Surrogate values are
// encoded like any other: callers that must not produce them refuse them first.
std::string encodeUtf8(std::uint32_t codePoint);

inline bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
// The code point of a high and a low surrogate.
inline std::uint32_t joinSurrogates(std::uint32_t high, std::uint32_t low) {
  return 0x10000 + (high - 0xD800) * 0x400 + (low - 0xDC00);
}

}  // namespace runtime
