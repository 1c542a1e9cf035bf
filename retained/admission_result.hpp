// The answer of an admission preflight: verdict, message, the work it counted, the delta's new
// records and the plan of the owner and command rows that applying it writes. Plain values;
// making one never fails but by running out of memory.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "render/render_records.hpp"
#include "retained/pending_record_index.hpp"
#include "runtime/text.hpp"

namespace retained {

using runtime::Text;

struct AdmissionPlan {
  Text ownerId;
  std::int32_t generation = 0;
  std::int32_t firstCommandSequence = -1;  // -1 until the budgets have passed
  std::int32_t lastCommandSequence = -1;
  // Parallel lists: element i of each belongs to command i; a reference is an entry number or -1.
  std::vector<render::CommandRecord> commands;
  std::vector<std::int32_t> paintRefs;
  std::vector<std::int32_t> imageRefs;
  std::vector<std::int32_t> glyphRefs;
  std::vector<std::int32_t> clipRefs;
  std::vector<std::int32_t> transformRefs;
};

struct AdmissionResult {
  bool accepted = false;
  Text message = "preflight-not-complete";
  std::uint32_t validationCount = 0;
  std::uint32_t explicitComparisonCount = 0;
  std::uint32_t payloadComparisonCount = 0;
  std::uint32_t indexProbeCount = 0;  // store index chain steps of counted lookups
  // The delta's records that are neither stored nor staged, in delta order.
  std::vector<render::PaintRecord> paints;
  std::vector<render::ImageRecord> images;
  std::vector<render::GlyphAlphaRecord> glyphAlphas;
  std::vector<render::ClipRecord> clips;
  std::vector<render::TransformRecord> transforms;
  AdmissionPlan plan;

  // Position in its list of the first new record with the id (an image: with the id and the
  // generation), or -1; the lookups answer what a scan of the list from the front would.
  std::int32_t findPendingPaint(std::string_view id);
  std::int32_t findPendingImage(std::string_view id, std::int32_t generation);
  std::int32_t findPendingGlyph(std::string_view id);
  std::int32_t findPendingClip(std::string_view id);
  std::int32_t findPendingTransform(std::string_view id);
  // The largest generation among the new images with the id; 0 when there is none.
  std::int32_t newestPendingImageGeneration(std::string_view id);

 private:
  // Lookup cache over the five lists above, reached only through the lookups so that it is
  // always asked about this result's own lists; a copied result starts its own.
  PendingRecordIndex pending_;
};

// Not accepted, "preflight-not-complete", zero counters, empty lists, a plan for the owner and
// generation with both sequence bounds -1.
AdmissionResult makePreflightResult(std::string_view ownerId, std::int32_t generation);

}  // namespace retained
