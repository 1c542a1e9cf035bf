#include "render/image_validation.hpp"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace render {

namespace {

using runtime::formatText;
using runtime::intToText;

constexpr std::size_t kMaxImageIdBytes = 64;

bool isOneOf(std::string_view value, std::initializer_list<std::string_view> admitted) {
  for (std::string_view candidate : admitted) {
    if (value == candidate) return true;
  }
  return false;
}

bool boundedText(const Text& text, std::size_t maxBytes) { return !text.empty() && text.size() <= maxBytes; }

// The rules of a ready image, after the ones every state shares.
Text validateReadyPixels(const ImageRecord& image) {
  if (!image.resident) return formatText("render image {0} ready state requires resident pixels", {image.id});
  if (image.width < 1 || image.width > kMaxImageSide || image.height < 1 || image.height > kMaxImageSide) {
    return formatText("render image {0} dimensions must be within 1..{1}", {image.id, intToText(kMaxImageSide)});
  }
  // Both sides are within 1..512 now, so the product stays within 1048576.
  const std::int32_t pixelBytes = image.width * image.height * 4;
  if (image.sizeBytes != pixelBytes) {
    return formatText("render image {0} byte size must equal width*height*4 within {1} bytes",
                      {image.id, intToText(kMaxImageBytes)});
  }
  // The payload's length is compared in full: a text longer than 4 GiB must not pass by wrapping.
  if (static_cast<std::uint64_t>(image.payloadHex.size()) != 2 * static_cast<std::uint64_t>(pixelBytes)) {
    return formatText("render image {0} BGRA8 hex payload length must equal sizeBytes*2", {image.id});
  }
  if (!isHexText(image.payloadHex)) {
    return formatText("render image {0} BGRA8 payload contains a non-hexadecimal byte", {image.id});
  }
  return Text();
}

}  // namespace

Text validateRenderImage(const ImageRecord& image) {
  if (!boundedText(image.id, kMaxImageIdBytes) || !boundedText(image.contentIdentity, kMaxImageIdBytes) ||
      image.source.empty()) {
    return formatText("render image requires id/content identity of at most {0} bytes and a source",
                      {std::to_string(kMaxImageIdBytes)});
  }
  if (image.kind != "image")
    return formatText("render image {0} requires kind=image, received {1}", {image.id, image.kind});
  if (image.generation <= 0) return formatText("render image {0} requires a positive generation", {image.id});
  if (image.format != "bgra8-hex") {
    return formatText("render image {0} format {1} is unsupported; admitted format is bgra8-hex",
                      {image.id, image.format});
  }
  if (!isOneOf(image.colorSpace, {"srgb", "linear-srgb", "display-p3", "rec2020"})) {
    return formatText(
        "render image {0} colorSpace {1} is unsupported; admitted named SDR spaces are srgb, linear-srgb, "
        "display-p3, and rec2020",
        {image.id, image.colorSpace});
  }
  if (image.alphaMode != "straight") return formatText("render image {0} requires alphaMode=straight", {image.id});
  if (image.state == "ready") return validateReadyPixels(image);
  if (!isOneOf(image.state, {"loading", "empty", "error"})) {
    return formatText("render image {0} has unsupported state {1}", {image.id, image.state});
  }
  // A placeholder's size is not limited: it describes an image that is not here.
  if (image.resident || image.sizeBytes != 0 || !image.payloadHex.empty() || image.width < 0 || image.height < 0) {
    return formatText("render image {0} placeholder state requires nonresident empty payload metadata", {image.id});
  }
  return Text();
}

bool isHexText(std::string_view text) {
  for (char c : text) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (!hex) return false;
  }
  return true;
}

}  // namespace render
