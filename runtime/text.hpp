// Texts are UTF-8 byte strings; byte vectors are vectors of unsigned bytes. These pure
// functions build every message, key and diagnostic line of the runtime.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace runtime {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;

// Replaces numbered placeholders "{0}", "{1}", ... with the arguments. Malformed and
// out-of-range placeholders are copied literally; inserted arguments are not rescanned.
// Throws std::out_of_range("stoull") for a placeholder number above 2^64 - 1.
Text formatText(std::string_view templ, const std::vector<Text>& args);

Text boolToText(bool value);
Text intToText(std::int32_t value);

// Decimal parse with 32-bit wrap-around; anything but an optional leading "-" and
// digits gives 0.
std::int32_t parseInt(std::string_view text);

// The count bytes from start as a text. A count of 0 or less gives the empty text.
// Throws std::invalid_argument for a zero byte in the range, and std::out_of_range when the
// range does not lie inside the bytes.
Text textFromUtf8(const Bytes& bytes, std::int32_t start, std::int32_t count);

Bytes textToBytes(std::string_view text);

// Bytes [start, end) clamped to the text; a negative start throws std::out_of_range.
Text sliceText(std::string_view text, std::int64_t start, std::int64_t end);

// Defined in the header: the store's key scans call it for every key they pass.
inline bool startsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The byte at index as 0..255, or -1 outside the text.
std::int32_t byteAt(std::string_view text, std::int64_t index);

// Well-formed UTF-8 as RFC 3629 defines it (no overlongs, surrogates or values above U+10FFFF).
bool isStrictUtf8(std::string_view text);

std::int32_t byteToUnsignedInt(std::int8_t value);
std::int32_t intToSignedByte(std::int32_t value);

}  // namespace runtime
