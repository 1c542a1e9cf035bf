#include "runtime/utf8.hpp"

namespace runtime {

std::size_t utf8CharacterLength(std::string_view text, std::size_t pos) {
  const auto at = [&](std::size_t i) -> int {
    return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : -1;
  };
  const int lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The second byte's range is narrower after some leads: it rules out overlongs (E0, F0),
  // surrogates (ED) and values above U+10FFFF (F4).
  int secondLow = 0x80;
  int secondHigh = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return 0;
  }
  const int second = at(1);
  if (second < secondLow || second > secondHigh) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    const int next = at(i);
    if (next < 0 || !isUtf8Continuation(static_cast<unsigned char>(next))) return 0;
  }
  return length;
}

std::size_t utf8LastCharacterStart(std::string_view text) {
  std::size_t pos = text.empty() ? 0 : text.size() - 1;
  while (pos > 0 && isUtf8Continuation(static_cast<unsigned char>(text[pos]))) --pos;
  return pos;
}

std::string encodeUtf8(std::uint32_t codePoint) {
  const std::uint32_t cp = codePoint;
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp <= 0x10FFFF) {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace runtime
