// Hash lookups over the new records an admission has gathered so far (the lists of its
// AdmissionResult), so that finding an earlier record of the same delta costs a hash lookup
// instead of a scan. It is a cache of those public lists, not a second copy of the truth: before
// every answer it indexes the records appended since it last looked, starts over when a list
// has become shorter (cut back or emptied), and checks every hit against the list, so answers
// stay those of a scan even when an overridden admit operation appends to the lists itself.
// Rewriting a record's identity in place is outside what it follows. A copy starts empty and
// catches up on first use. Only memory exhaustion propagates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "render/render_records.hpp"
#include "runtime/text.hpp"

namespace retained {

class PendingRecordIndex {
 public:
  PendingRecordIndex() = default;
  PendingRecordIndex(const PendingRecordIndex&) noexcept {}
  PendingRecordIndex& operator=(const PendingRecordIndex& other);
  PendingRecordIndex(PendingRecordIndex&&) noexcept = default;
  PendingRecordIndex& operator=(PendingRecordIndex&&) noexcept = default;
  ~PendingRecordIndex() = default;

  // Position of the first record with the id, or -1.
  std::int32_t findPaint(const std::vector<render::PaintRecord>& paints, std::string_view id);
  std::int32_t findGlyph(const std::vector<render::GlyphAlphaRecord>& glyphs, std::string_view id);
  std::int32_t findClip(const std::vector<render::ClipRecord>& clips, std::string_view id);
  std::int32_t findTransform(const std::vector<render::TransformRecord>& transforms, std::string_view id);
  // Position of the first image with the id and the generation, or -1.
  std::int32_t findImage(const std::vector<render::ImageRecord>& images, std::string_view id, std::int32_t generation);
  // The largest generation among the images with the id; 0 when there is none (or none above 0).
  std::int32_t newestImageGeneration(const std::vector<render::ImageRecord>& images, std::string_view id);

  // Positions of the first record per id, for one list.
  struct IdPositions {
    std::unordered_map<runtime::Text, std::int32_t> first;
    std::size_t indexed = 0;
  };

  struct ImageIdentityHash {
    std::size_t operator()(const std::pair<runtime::Text, std::int32_t>& identity) const noexcept;
  };

  struct ImagePositions {
    std::unordered_map<std::pair<runtime::Text, std::int32_t>, std::int32_t, ImageIdentityHash> first;
    std::unordered_map<runtime::Text, std::int32_t> newest;
    std::size_t indexed = 0;
  };

 private:
  IdPositions paints_;
  IdPositions glyphs_;
  IdPositions clips_;
  IdPositions transforms_;
  ImagePositions images_;
};

}  // namespace retained
