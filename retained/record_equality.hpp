// Content equality of resource records, as the store's admission decides it: every field in
// declaration order, payloads included in their place, false at the first difference.
#pragma once

#include "render/render_records.hpp"

namespace retained {

bool paintEquals(const render::PaintRecord& a, const render::PaintRecord& b);
bool imageEquals(const render::ImageRecord& a, const render::ImageRecord& b);
bool glyphEquals(const render::GlyphAlphaRecord& a, const render::GlyphAlphaRecord& b);
bool clipEquals(const render::ClipRecord& a, const render::ClipRecord& b);
bool transformEquals(const render::TransformRecord& a, const render::TransformRecord& b);

}  // namespace retained
