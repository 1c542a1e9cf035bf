// The key index, the key form, the overlay totals, the starting admission result and the hash
// lookups over an admission's own new records.
#include "retained/resource_key_index.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "retained/admission_result.hpp"
#include "retained/candidate_overlay.hpp"
#include "retained/pending_record_index.hpp"
#include "runtime/text_hash.hpp"

namespace retained {
namespace {

TEST(ResourceKey, LengthPrefixesKeepEveryKeyDistinct) {
  struct Case {
    const char* kind;
    std::string id;
    std::int32_t n;
    const char* key;
  };
  const Case cases[] = {
      {"paint", "abc", 0, "5:paint:3:abc:0"},
      {"command-sequence", "", 7, "16:command-sequence:0::7"},
      {"image-generation", "img", -3, "16:image-generation:3:img:-3"},
      {"clip", "a:1", 0, "4:clip:3:a:1:0"},
      {"glyph", "\xC3\xA9", 0, "5:glyph:2:\xC3\xA9:0"},  // a two-byte character counts 2
      {"paint", "", INT32_MIN, "5:paint:0::-2147483648"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resourceKey(c.kind, c.id, c.n), c.key) << c.key;
    EXPECT_EQ(resourceKeyLength(c.kind, c.id, c.n), std::string(c.key).size()) << c.key;
  }
  // Colons inside an id cannot make two keys meet.
  EXPECT_NE(resourceKey("clip", "a:1", 0), resourceKey("clip", "a", 10));
}

TEST(ResourceKeyIndex, ChainsCountEveryVisitedNode) {
  ResourceKeyIndex index = ResourceKeyIndex::create(1);
  EXPECT_EQ(index.get("k1"), -1);
  EXPECT_EQ(index.probeCount, 0u);  // an empty bucket costs nothing

  index.put("k1", 1);
  index.put("k2", 2);
  index.put("k3", 3);
  struct Lookup {
    const char* key;
    std::int32_t value;
    std::uint32_t probes;
  };
  // Newest first in the chain: k3 is the head.
  const Lookup lookups[] = {{"k3", 3, 1}, {"k2", 2, 2}, {"k1", 1, 3}, {"absent", -1, 3}};
  for (const Lookup& lookup : lookups) {
    const std::uint32_t before = index.probeCount;
    EXPECT_EQ(index.get(lookup.key), lookup.value) << lookup.key;
    EXPECT_EQ(index.probeCount - before, lookup.probes) << lookup.key;
  }

  index.put("k1", 7);  // overwrite: no new node, put counts nothing
  EXPECT_EQ(index.nodeCount(), 3u);
  EXPECT_EQ(index.putCounting("k1", 8), 3u);  // its chain position
  EXPECT_EQ(index.putCounting("k4", 4), 3u);  // a new key costs the chain it joins
  std::uint32_t visited = 0;
  EXPECT_EQ(index.find("k1", visited), 8);
  EXPECT_EQ(visited, 4u);

  index.clearNodes();
  EXPECT_EQ(index.nodeCount(), 0u);
  EXPECT_EQ(index.get("k1"), -1);
  EXPECT_EQ(index.bucketCount, 1u);
}

TEST(ResourceKeyIndex, BucketsFollowTheRuntimeHashAndStayInRange) {
  const ResourceKeyIndex index = ResourceKeyIndex::create(8192);
  EXPECT_EQ(index.heads.size(), 8192u);
  const std::string key = resourceKey("paint", "abc", 0);
  EXPECT_EQ(index.bucketOf(key), runtime::textHash(key, 8192));
  // The empty key hashes to 17 whatever the count; it is brought into the buckets.
  EXPECT_EQ(ResourceKeyIndex::create(8).bucketOf(""), 1);
  EXPECT_EQ(ResourceKeyIndex::create(1).bucketOf(""), 0);
  EXPECT_EQ(ResourceKeyIndex::create(0).bucketCount, 1u);
  ResourceKeyIndex small = ResourceKeyIndex::create(8);
  small.put("", 5);
  EXPECT_EQ(small.get(""), 5);
}

TEST(CandidateOverlay, TotalsOverIndexesAndDeltas) {
  CandidateOverlay overlay = makeCandidateOverlay(64);
  overlay.resourceIndex.put("a", 0);
  overlay.ownerIndex.put("b", 0);
  overlay.resourceIndex.get("a");
  overlay.ownerIndex.get("b");
  overlay.sequenceIndex.get("c");  // empty bucket: no probe
  EXPECT_EQ(sumOverlayProbes(overlay), 2);

  render::ResourceDelta delta;
  EXPECT_EQ(countDeltaResources(delta), 0);
  delta.paints.resize(2);
  delta.images.resize(1);
  delta.clips.resize(3);
  EXPECT_EQ(countDeltaResources(delta), 6);
}

// A copied result owns its lists, and its lookups follow its own lists.
TEST(AdmissionResult, CopiesAreIndependent) {
  AdmissionResult result = makePreflightResult("o", 3);
  EXPECT_EQ(result.message, "preflight-not-complete");
  EXPECT_EQ(result.plan.firstCommandSequence, -1);
  result.paints.push_back(render::PaintRecord{"p", 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(result.findPendingPaint("p"), 0);
  AdmissionResult copy = result;
  copy.paints.push_back(render::PaintRecord{"q", 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(result.paints.size(), 1u);
  EXPECT_EQ(copy.findPendingPaint("q"), 1);
  EXPECT_EQ(result.findPendingPaint("q"), -1);
}

// The lookups answer what a scan from the front answers while the lists grow, shrink from the
// end or are emptied between them.
TEST(PendingRecordIndex, AgreesWithAScanUnderEveryKindOfListChange) {
  std::mt19937 random(11);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 50; ++round) {
    PendingRecordIndex pending;
    std::vector<render::PaintRecord> paints;
    std::vector<render::ImageRecord> images;
    for (int step = 0; step < 200; ++step) {
      const std::string id = "r" + std::to_string(pick(6));
      const std::int32_t generation = pick(4) - 1;
      switch (pick(6)) {
        case 0:
        case 1:
          paints.push_back(render::PaintRecord{id, 0, 0, 0, 0, 0, 0, 0});
          images.push_back(render::ImageRecord{});
          images.back().id = id;
          images.back().generation = generation;
          break;
        case 2:
          if (!paints.empty()) paints.pop_back();
          if (!images.empty()) images.pop_back();
          break;
        case 3:
          paints.clear();
          images.clear();
          break;
        case 4:
          paints.resize(paints.size() / 2);
          images.resize(images.size() / 2);
          break;
        default:
          break;
      }
      std::int32_t firstPaint = -1;
      for (std::size_t i = 0; i < paints.size() && firstPaint < 0; ++i) {
        if (paints[i].id == id) firstPaint = static_cast<std::int32_t>(i);
      }
      std::int32_t firstImage = -1;
      std::int32_t newest = 0;
      for (std::size_t i = 0; i < images.size(); ++i) {
        if (images[i].id != id) continue;
        if (firstImage < 0 && images[i].generation == generation) firstImage = static_cast<std::int32_t>(i);
        newest = std::max(newest, images[i].generation);
      }
      ASSERT_EQ(pending.findPaint(paints, id), firstPaint) << "round " << round << " step " << step;
      ASSERT_EQ(pending.findImage(images, id, generation), firstImage) << "round " << round << " step " << step;
      ASSERT_EQ(pending.newestImageGeneration(images, id), newest) << "round " << round << " step " << step;
    }
  }
}

}  // namespace
}  // namespace retained
