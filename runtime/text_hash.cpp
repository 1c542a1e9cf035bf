#include "runtime/text_hash.hpp"

#include <array>

namespace runtime {

namespace {

constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-:/@";
constexpr std::int32_t kOtherCode = 71;

constexpr std::array<std::uint8_t, 256> makeCodes() {
  std::array<std::uint8_t, 256> codes{};
  for (auto& code : codes) code = kOtherCode;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    codes[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i + 1);
  }
  return codes;
}

constexpr std::array<std::uint8_t, 256> kCodes = makeCodes();

}  // namespace

// Up to this power of two, h * 33 + 71 stays below 2^31 for every h below the count.
constexpr std::int32_t kLargestMaskedCount = 1 << 25;

std::int32_t textHash(std::string_view text, std::int32_t bucketCount) {
  if (bucketCount < 1) bucketCount = 1;
  if ((bucketCount & (bucketCount - 1)) == 0 && bucketCount <= kLargestMaskedCount) {
    // Nothing wraps and every value is non-negative, so the remainder is a mask: the same values
    // without a division per byte (the retained store hashes every key it looks up over 8192).
    const auto mask = static_cast<std::uint32_t>(bucketCount - 1);
    std::uint32_t h = 17;
    for (char c : text) h = (h * 33u + kCodes[static_cast<unsigned char>(c)]) & mask;
    return static_cast<std::int32_t>(h);
  }
  std::int32_t h = 17;
  for (char c : text) {
    // Wrap in unsigned arithmetic, then take the truncating signed remainder.
    const std::uint32_t mixed = static_cast<std::uint32_t>(h) * 33u + kCodes[static_cast<unsigned char>(c)];
    h = static_cast<std::int32_t>(mixed) % bucketCount;
  }
  return h;
}

}  // namespace runtime
