// Valid paint and image records, written once for the retained store's tests and benchmarks
// (the benchmarks include this header too, so it needs nothing but the record types).
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/render_records.hpp"
#include "runtime/text.hpp"

namespace retained::testing {

inline render::PaintRecord paintOf(const runtime::Text& id, std::int32_t red = 10) {
  return render::PaintRecord{id, red, 20, 30, 255, 0, 0, 100};
}

// A ready image of width x height pixels; the payload repeats the fill digit.
inline render::ImageRecord readyImage(const runtime::Text& id, std::int32_t generation, std::int32_t width = 1,
                                      std::int32_t height = 1, char fill = 'a') {
  render::ImageRecord image;
  image.id = id;
  image.kind = "image";
  image.generation = generation;
  image.width = width;
  image.height = height;
  image.sizeBytes = width * height * 4;
  image.format = "bgra8-hex";
  image.colorSpace = "srgb";
  image.alphaMode = "straight";
  image.state = "ready";
  image.resident = true;
  image.contentIdentity = id + "-content";
  image.payloadHex = runtime::Text(static_cast<std::size_t>(image.sizeBytes) * 2, fill);
  image.source = "test";
  return image;
}

}  // namespace retained::testing
