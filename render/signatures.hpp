// Canonical signature lines of the render records: one line per record that writes every field
// in declaration order after a versioned kind tag ("paint-v1", ..., "fragment-v1"), each field
// preceded by "|". A text is written as its byte length, ":" and its bytes unchanged (nothing is
// escaped; the length keeps the field's extent unambiguous), an integer in decimal, a flag as
// "true" or "false". Two records of one kind are equal exactly when their lines are; a fragment's
// line holds only the number of its commands, which are compared through their own lines.
// The functions are pure and fail only by memory exhaustion (std::bad_alloc).
#pragma once

#include <string_view>

#include "render/render_records.hpp"

namespace render {

// The text's byte length in decimal, ":" and the text.
Text lengthPrefixedField(std::string_view text);

Text encodePaintSignature(const PaintRecord& paint);
// Holds the whole payload: about twice the pixel byte count long.
Text encodeImageSignature(const ImageRecord& image);
Text encodeGlyphSignature(const GlyphAlphaRecord& glyph);
Text encodeClipSignature(const ClipRecord& clip);
Text encodeTransformSignature(const TransformRecord& transform);
// The complete retained form of a command: 43 fields, the last four always "end|1|1|1".
Text encodeCommandSignature(const CommandRecord& command);
// Everything of a fragment but its commands, of which it holds the count as the last field.
Text encodeFragmentSignature(const OwnerFragment& fragment);

}  // namespace render
