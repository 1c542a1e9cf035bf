// The bucket function of the runtime's string-keyed chained hash indexes.
#pragma once

#include <cstdint>
#include <string_view>

namespace runtime {

// h = 17; for each byte h = (h * 33 + code(byte)) mod bucketCount, wrapping in 32 bits.
// Codes: 1..68 by position in "a..zA..Z0..9._-:/@", 71 for every other byte. The empty text
// yields 17. A bucket count below 1 is treated as 1 rather than dividing by zero.
std::int32_t textHash(std::string_view text, std::int32_t bucketCount);

}  // namespace runtime
