#include "runtime/text.hpp"

#include <limits>
#include <stdexcept>

#include "runtime/utf8.hpp"

namespace runtime {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Parses a run of decimal digits as an unsigned 64-bit value; leading zeros are fine.
std::uint64_t parsePlaceholderNumber(std::string_view digits) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (char c : digits) {
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (kMax - digit) / 10) throw std::out_of_range("stoull");
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace

Text formatText(std::string_view templ, const std::vector<Text>& args) {
  Text result;
  result.reserve(templ.size());
  std::size_t p = 0;
  while (p < templ.size()) {
    if (templ[p] != '{') {
      result.push_back(templ[p]);
      ++p;
      continue;
    }
    const std::size_t q = templ.find('}', p + 1);
    if (q == std::string_view::npos) {
      result.push_back('{');
      ++p;
      continue;
    }
    const std::string_view content = templ.substr(p + 1, q - p - 1);
    bool allDigits = !content.empty();
    for (char c : content) allDigits = allDigits && isDigit(c);
    if (!allDigits) {
      // Rescan right after the brace: a placeholder may start inside the discarded content.
      result.push_back('{');
      ++p;
      continue;
    }
    const std::uint64_t n = parsePlaceholderNumber(content);
    if (n < args.size()) {
      result += args[static_cast<std::size_t>(n)];
    } else {
      result.append(templ.substr(p, q - p + 1));
    }
    p = q + 1;
  }
  return result;
}

Text boolToText(bool value) { return value ? "true" : "false"; }

Text intToText(std::int32_t value) { return std::to_string(value); }

std::int32_t parseInt(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    i = 1;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    if (!isDigit(text[i])) return 0;
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

Text textFromUtf8(const Bytes& bytes, std::int32_t start, std::int32_t count) {
  if (count <= 0) return Text();
  if (start < 0 || static_cast<std::uint64_t>(start) + static_cast<std::uint64_t>(count) > bytes.size()) {
    throw std::out_of_range("Text.FromUtf8 range lies outside the bytes");
  }
  const auto first = bytes.begin() + start;
  const auto last = first + count;
  for (auto it = first; it != last; ++it) {
    if (*it == 0) throw std::invalid_argument("Text.FromUtf8 does not accept an embedded zero byte");
  }
  return Text(first, last);
}

Bytes textToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Text sliceText(std::string_view text, std::int64_t start, std::int64_t end) {
  const auto length = static_cast<std::int64_t>(text.size());
  if (start < 0) throw std::out_of_range("sliceText: negative start");
  const std::int64_t s = start < length ? start : length;
  std::int64_t e = end < 0 ? 0 : end;
  if (e > length) e = length;
  if (e < s) e = s;
  return Text(text.substr(static_cast<std::size_t>(s), static_cast<std::size_t>(e - s)));
}

std::int32_t byteAt(std::string_view text, std::int64_t index) {
  if (index < 0 || index >= static_cast<std::int64_t>(text.size())) return -1;
  return static_cast<unsigned char>(text[static_cast<std::size_t>(index)]);
}

bool isStrictUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8CharacterLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::int32_t byteToUnsignedInt(std::int8_t value) { return static_cast<std::uint8_t>(value); }

std::int32_t intToSignedByte(std::int32_t value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu));
}

}  // namespace runtime
