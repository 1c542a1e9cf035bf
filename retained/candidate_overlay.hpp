// The scratch state of one evaluation or one candidate batch: records staged by earlier batch
// items, keyed the way the store keys its rows, so later items resolve and budget against them
// as if they were stored. Plain values; nothing here fails but by running out of memory.
#pragma once

#include <cstdint>
#include <vector>

#include "render/render_records.hpp"
#include "retained/resource_key_index.hpp"

namespace retained {

struct CandidateOverlay {
  ResourceKeyIndex resourceIndex;  // resource keys of the staged records -> entry numbers
  ResourceKeyIndex ownerIndex;     // batch owner ids -> item position
  ResourceKeyIndex sequenceIndex;  // batch "command-sequence" keys -> item position
  std::vector<render::PaintRecord> paints;
  std::vector<render::ImageRecord> images;
  std::vector<render::GlyphAlphaRecord> glyphAlphas;
  std::vector<render::ClipRecord> clips;
  std::vector<render::TransformRecord> transforms;
  // Totals in 64 bits so that thousands of staged records cannot wrap past a budget.
  std::uint64_t stagedPayloadBytes = 0;  // sizeBytes of the staged images and glyph alphas
  std::uint64_t stagedIndexNodes = 0;    // store index nodes the staged records will add
};

// Three indexes of the given bucket count (below 1 taken as 1), empty lists, zero totals.
CandidateOverlay makeCandidateOverlay(std::int32_t bucketCount);

// The probe counters of the three indexes, summed in 32-bit arithmetic.
std::int32_t sumOverlayProbes(const CandidateOverlay& overlay);

// Records in the delta's five lists.
std::int32_t countDeltaResources(const render::ResourceDelta& delta);

}  // namespace retained
