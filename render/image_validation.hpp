// Whether one image record may be admitted as a render image, and the hexadecimal test of pixel
// payloads. A record that breaks a rule is reported only through the returned message of the
// first rule it breaks, in a fixed order; nothing is thrown for it (only std::bad_alloc passes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "render/render_records.hpp"

namespace render {

// The largest ready image: 512 x 512 pixels of four bytes.
inline constexpr std::int32_t kMaxImageSide = 512;
inline constexpr std::int32_t kMaxImageBytes = kMaxImageSide * kMaxImageSide * 4;

// Empty when the image is admissible, else the message of the first rule it breaks. A ready image
// carries 1..512 x 1..512 BGRA8 pixels as 2 * sizeBytes hexadecimal digits; a placeholder
// ("loading", "empty", "error") carries metadata only.
Text validateRenderImage(const ImageRecord& image);

// True when every byte is 0-9, A-F or a-f; the empty text is hexadecimal.
bool isHexText(std::string_view text);

}  // namespace render
