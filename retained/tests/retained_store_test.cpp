// The store's tables, index, accessors, description, reference resolution, admission checks,
// delta application and candidate staging, driven directly (without the commit protocol).
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "protocol_fixtures.hpp"
#include "render/signatures.hpp"
#include "retained/retained_resource_store.hpp"
#include "runtime/text_hash.hpp"

namespace retained {
namespace {

using namespace retained::testing;
using Refs = std::array<std::int32_t, 5>;

constexpr Refs kNoRefs = {-1, -1, -1, -1, -1};

// Opens the write half of the store to the tests.
class WritableStore : public RetainedResourceStore {
 public:
  using RetainedResourceStore::applyDelta;
  using RetainedResourceStore::indexPut;
  using RetainedResourceStore::RetainedResourceStore;
};

// An accepted result holding these new records and these commands with their references.
AdmissionResult acceptedResult(const Text& owner, std::int32_t generation,
                               const std::vector<render::CommandRecord>& commands, const std::vector<Refs>& refs) {
  AdmissionResult result = makePreflightResult(owner, generation);
  result.accepted = true;
  result.message = "ok";
  result.plan.firstCommandSequence = commands.front().sequence;
  result.plan.lastCommandSequence = commands.back().sequence;
  result.plan.commands = commands;
  for (const Refs& r : refs) {
    result.plan.paintRefs.push_back(r[0]);
    result.plan.imageRefs.push_back(r[1]);
    result.plan.glyphRefs.push_back(r[2]);
    result.plan.clipRefs.push_back(r[3]);
    result.plan.transformRefs.push_back(r[4]);
  }
  return result;
}

// Chain position of a key in an index that received `inserted` in that order: 1 plus the later
// keys of the same bucket (new keys go to the head).
std::uint32_t chainPosition(const std::vector<Text>& inserted, const Text& key) {
  const std::int32_t bucket = runtime::textHash(key, 8192);
  std::uint32_t position = 1;
  bool seen = false;
  for (const Text& other : inserted) {
    if (other == key)
      seen = true;
    else if (seen && runtime::textHash(other, 8192) == bucket)
      ++position;
  }
  return position;
}

TEST(RetainedStore, NewStoreIsEmptyAndDescribesItself) {
  const RetainedResourceStore store("s1");
  EXPECT_EQ(store.describe(),
            "retained-resource-store-v1: surface=s1; state=open; revision=0; entries=0; owners=0; commands=0; "
            "payload=0; validations=0; explicit-comparisons=0; payload-comparisons=0; admissions=0; "
            "rejections=operation-results-only");
  EXPECT_EQ(store.indexBucketCount(), 8192u);
  EXPECT_EQ(store.indexKeyCount() + store.indexProbeCount() + store.entryCount() + store.ownerCount(), 0u);

  struct Case {
    std::string surface;
    const char* state;
  };
  const Case cases[] = {{std::string(128, 's'), "open"}, {std::string(129, 's'), "invalid"}, {"", "invalid"}};
  for (const Case& c : cases) {
    const RetainedResourceStore sized(c.surface);
    EXPECT_EQ(sized.state(), c.state) << c.surface.size();
    EXPECT_EQ(sized.surfaceId(), c.surface);
  }
}

// A store holding owner "o1" (commands 10, 11) with one resource of each kind, and owner "o2".
struct StockedStore {
  WritableStore store{kSurface};
  render::PaintRecord paint = paintOf("p");
  render::ImageRecord image = readyImage("img", 3, 2, 1);
  render::GlyphAlphaRecord glyph = glyphOf('a');
  render::ClipRecord clip = clipOf("c");
  render::TransformRecord transform = transformOf("t");

  StockedStore() {
    render::CommandRecord drawsImage = imageCommand(11, "o1", "img", 3);
    drawsImage.paintId = "p";
    drawsImage.clipId = "c";
    drawsImage.transformId = "t";
    AdmissionResult first = acceptedResult("o1", 1, {drawCommand(10, "o1"), drawsImage}, {kNoRefs, {0, 0, -1, 0, 0}});
    first.paints = {paint};
    first.images = {image};
    first.glyphAlphas = {glyph};
    first.clips = {clip};
    first.transforms = {transform};
    EXPECT_TRUE(store.applyDelta(first, 1));
    EXPECT_TRUE(store.applyDelta(acceptedResult("o2", 1, {drawCommand(20, "o2")}, {kNoRefs}), 1));
  }
};

TEST(RetainedStore, RowAccessorsOutOfRangeAnswerNotFound) {
  StockedStore stocked;
  const RetainedResourceStore& store = stocked.store;
  ASSERT_EQ(store.commandCount(), 3u);
  EXPECT_EQ(store.commandRef1(1), 0);  // in range: the stored reference
  for (const std::int32_t row : {-1, 3, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(store.commandRef1(row), -1);
    EXPECT_EQ(store.commandRef2(row), -1);
    EXPECT_EQ(store.commandRef3(row), -1);
    EXPECT_EQ(store.commandRef4(row), -1);
    EXPECT_EQ(store.commandRef5(row), -1);
    EXPECT_EQ(store.commandOwner(row), -1);
    EXPECT_EQ(store.ownerGeneration(row), 0);
    EXPECT_EQ(render::encodePaintSignature(store.storedPaint(row)),
              render::encodePaintSignature(render::PaintRecord{}));
    EXPECT_EQ(render::encodeImageSignature(store.storedImage(row)),
              render::encodeImageSignature(render::ImageRecord{}));
    EXPECT_TRUE(store.storedGlyph(row).id.empty());
    EXPECT_TRUE(store.storedClip(row).id.empty());
    EXPECT_TRUE(store.storedTransform(row).id.empty());
  }
  struct OwnerCase {
    std::int32_t owner;
    std::uint32_t position;
    Refs refs;
  };
  const OwnerCase owners[] = {
      {0, 1, {0, 0, -1, 0, 0}}, {0, 2, kNoRefs}, {1, 1, kNoRefs}, {2, 0, kNoRefs}, {-1, 0, kNoRefs}};
  for (const OwnerCase& c : owners) {
    SCOPED_TRACE(::testing::Message() << c.owner << "/" << c.position);
    const Refs got = {store.ownerCommandRef1(c.owner, c.position), store.ownerCommandRef2(c.owner, c.position),
                      store.ownerCommandRef3(c.owner, c.position), store.ownerCommandRef4(c.owner, c.position),
                      store.ownerCommandRef5(c.owner, c.position)};
    EXPECT_EQ(got, c.refs);
  }
  CandidateOverlay overlay = makeCandidateOverlay(1);
  overlay.paints.push_back(paintOf("staged"));
  EXPECT_EQ(store.paintAt(overlay, 1).id, "staged");
  EXPECT_TRUE(store.paintAt(overlay, 2).id.empty());
  EXPECT_TRUE(store.paintAt(overlay, -5).id.empty());
  EXPECT_TRUE(store.imageAt(overlay, 7).id.empty());
  EXPECT_TRUE(store.glyphAt(overlay, 7).id.empty());
  EXPECT_TRUE(store.clipAt(overlay, 7).id.empty());
  EXPECT_TRUE(store.transformAt(overlay, 7).id.empty());
}

TEST(RetainedStore, IndexLookupsCountWhereTheyShould) {
  WritableStore store(kSurface);
  std::vector<Text> inserted;
  for (const char* id : {"a", "b", "c"}) {
    inserted.push_back(resourceKey("binding", id, 0));
    store.indexPut(inserted.back(), static_cast<std::uint32_t>(inserted.size() - 1));
  }
  const std::uint32_t putProbes = store.indexProbeCount();
  EXPECT_EQ(store.findOwner("b"), 1);
  EXPECT_EQ(store.findOwner("zz"), -1);
  EXPECT_EQ(store.indexProbeCount(), putProbes);  // uncounted lookups

  AdmissionResult result = makePreflightResult("x", 1);
  EXPECT_EQ(store.findOwnerCounted(result, "b"), 1);
  EXPECT_EQ(result.indexProbeCount, chainPosition(inserted, inserted[1]));
  EXPECT_EQ(store.indexProbeCount(), putProbes);

  store.indexPut(inserted[0], 9);  // overwrite: no node, its chain position in probes
  EXPECT_EQ(store.indexKeyCount(), 3u);
  EXPECT_EQ(store.indexProbeCount(), putProbes + chainPosition(inserted, inserted[0]));
  EXPECT_EQ(store.findOwner("a"), 9);
}

TEST(DeltaApplication, BindingsAppendAndUpdatesRewriteInPlace) {
  WritableStore store(kSurface);
  const render::ImageRecord image = readyImage("img", 1, 2, 2);
  const render::GlyphAlphaRecord glyph = glyphOf('b', 3, 1);
  render::CommandRecord draws = imageCommand(3, "o1", "img", 1);
  draws.paintId = "p";
  AdmissionResult first = acceptedResult("o1", 1, {drawCommand(1, "o1"), drawCommand(2, "o1"), draws},
                                         {kNoRefs, kNoRefs, {0, 0, -1, -1, -1}});
  first.paints = {paintOf("p")};
  first.images = {image};
  first.glyphAlphas = {glyph};
  ASSERT_TRUE(store.applyDelta(first, 1));
  EXPECT_EQ(store.paintCount() + store.imageCount() + store.glyphCount(), 3u);
  EXPECT_EQ(store.indexKeyCount(), 8u);  // paint, image x2, glyph, binding, three sequences
  EXPECT_EQ(store.commandCount(), 3u);
  EXPECT_EQ(store.payloadBytes(), 16u + 3u);
  EXPECT_EQ(store.findOwner("o1"), 0);
  EXPECT_EQ(store.ownerCommandRef1(0, 2), 0);  // the paint that arrived with it
  EXPECT_EQ(store.commandRef5(0), -1);
  for (std::int32_t row = 0; row < 3; ++row) EXPECT_EQ(store.commandOwner(row), 0);
  EXPECT_EQ(store.findCommandBySequence(draws), 2);
  EXPECT_EQ(render::encodeImageSignature(store.storedImage(0)), render::encodeImageSignature(image));
  EXPECT_TRUE(store.storedImage(0).resident);

  ASSERT_TRUE(store.applyDelta(acceptedResult("o2", 4, {drawCommand(8, "o2")}, {kNoRefs}), 1));
  EXPECT_EQ(store.findOwner("o2"), 1);
  EXPECT_EQ(store.findCommandBySequence(drawCommand(8, "o2")), 3);
  EXPECT_EQ(store.commandOwner(3), 1);

  // Update of o1: a newer image generation and new references, same sequences.
  render::CommandRecord redraws = imageCommand(3, "o1", "img", 2);
  AdmissionResult update = acceptedResult("o1", 2, {drawCommand(1, "o1", "p"), drawCommand(2, "o1"), redraws},
                                          {{0, -1, -1, -1, -1}, kNoRefs, {-1, 1, -1, -1, -1}});
  render::ImageRecord placeholder = readyImage("img", 2);
  placeholder.state = "loading";
  placeholder.resident = false;
  placeholder.sizeBytes = 0;
  placeholder.payloadHex.clear();
  update.images = {placeholder};
  const std::uint32_t keysBefore = store.indexKeyCount();
  ASSERT_TRUE(store.applyDelta(update, 0));
  EXPECT_EQ(store.indexKeyCount(), keysBefore + 1);  // only the new generation's key
  EXPECT_EQ(store.commandCount(), 4u);
  EXPECT_EQ(store.payloadBytes(), 19u);
  EXPECT_EQ(store.ownerGeneration(0), 2);
  EXPECT_EQ(store.ownerCommandRef2(0, 2), 1);
  EXPECT_EQ(store.commandRef1(0), 0);
  EXPECT_EQ(store.commandOwner(2), 0);
  EXPECT_EQ(store.findCommandBySequence(draws), -1);  // rewritten
  EXPECT_EQ(store.findCommandOwner(redraws), 0);
  EXPECT_EQ(store.indexGet(resourceKey("image-latest", "img", 0)), 1);
  EXPECT_EQ(store.indexGet(resourceKey("image-generation", "img", 1)), 0);

  // A command whose sequence is stored but whose other fields differ is not found.
  render::CommandRecord changed = redraws;
  changed.attributeInt7 = 1;
  EXPECT_EQ(store.findCommandBySequence(changed), -1);
  EXPECT_EQ(store.findCommandOwner(changed), -1);
}

TEST(DeltaApplication, ResultsThatDoNotFitTheStoreWriteNothing) {
  struct Case {
    const char* what;
    std::function<AdmissionResult()> result;
    std::uint8_t kind;
  };
  const std::vector<Case> cases = {
      {"update of an unbound owner", [] { return acceptedResult("zz", 2, {drawCommand(30, "zz")}, {kNoRefs}); }, 0},
      {"binding of a bound owner", [] { return acceptedResult("o2", 2, {drawCommand(30, "o2")}, {kNoRefs}); }, 1},
      {"update with another command count",
       [] {
         return acceptedResult("o2", 2, {drawCommand(20, "o2"), drawCommand(21, "o2")}, {kNoRefs, kNoRefs});
       },
       0},
      {"update with another sequence", [] { return acceptedResult("o2", 2, {drawCommand(21, "o2")}, {kNoRefs}); }, 0},
      {"reference past the rows",
       [] {
         return acceptedResult("o3", 1, {drawCommand(30, "o3")}, {{1, -1, -1, -1, -1}});
       },
       1},
      {"negative reference other than -1",
       [] {
         return acceptedResult("o3", 1, {drawCommand(30, "o3")}, {{-1, -2, -1, -1, -1}});
       },
       1},
      {"plan lists of different lengths",
       [] {
         AdmissionResult r = acceptedResult("o3", 1, {drawCommand(30, "o3")}, {kNoRefs});
         r.plan.clipRefs.clear();
         return r;
       },
       1},
  };
  for (const Case& c : cases) {
    StockedStore stocked;
    const Text before = storeSnapshot(stocked.store);
    EXPECT_FALSE(stocked.store.applyDelta(c.result(), c.kind)) << c.what;
    EXPECT_EQ(storeSnapshot(stocked.store), before) << c.what;
    EXPECT_EQ(stocked.store.state(), "open") << c.what;
  }
}

// An override that fails part-way leaves a store no commit can write again.
TEST(DeltaApplication, AFailureAfterTheFirstWriteLeavesTheStoreInvalid) {
  class FailingStore : public WritableStore {
   public:
    using WritableStore::WritableStore;

   protected:
    void appendClipRow(render::ClipRecord clip) override {
      if (clip.id == "fails") throw std::bad_alloc();
      WritableStore::appendClipRow(std::move(clip));
    }
  };
  FailingStore store(kSurface);
  AdmissionResult result = acceptedResult("o", 1, {drawCommand(1, "o")}, {kNoRefs});
  result.paints = {paintOf("p")};
  result.clips = {clipOf("fails")};
  EXPECT_THROW(store.applyDelta(result, 1), std::bad_alloc);
  EXPECT_EQ(store.state(), "invalid");
}

// Entry numbers: store rows, then staged records, then the admission's own new records.
TEST(ReferenceResolution, EntryNumbersRunAcrossStoreOverlayAndPending) {
  WritableStore store(kSurface);
  AdmissionResult stocked = acceptedResult("o", 1, {drawCommand(1, "o")}, {kNoRefs});
  std::vector<Text> inserted;
  for (int i = 0; i < 5; ++i) {
    stocked.paints.push_back(paintOf("p" + std::to_string(i)));
    inserted.push_back(resourceKey("paint", "p" + std::to_string(i), 0));
  }
  stocked.images = {readyImage("img", 1), readyImage("img", 2)};
  ASSERT_TRUE(store.applyDelta(stocked, 1));

  CandidateOverlay overlay = makeCandidateOverlay(1);
  AdmissionResult earlier = makePreflightResult("o", 2);
  earlier.paints = {paintOf("s0")};
  earlier.images = {readyImage("img", 3)};
  store.stageDelta(earlier, overlay);

  AdmissionResult result = makePreflightResult("o", 2);
  result.paints = {paintOf("n0"), paintOf("n1"), paintOf("n2")};
  result.images = {readyImage("q", 2)};

  struct Case {
    const char* id;
    std::int32_t entry;
    bool countsInStore;  // answered by the store index, so its chain steps count in the result
  };
  const Case cases[] = {{"p3", 3, true}, {"s0", 5, false}, {"n2", 8, true}, {"n0", 6, true}, {"zz", -1, true}};
  for (const Case& c : cases) {
    const std::uint32_t before = result.indexProbeCount;
    EXPECT_EQ(store.findReferencedPaint(result, overlay, c.id), c.entry) << c.id;
    const Text key = resourceKey("paint", c.id, 0);
    const std::uint32_t expected = c.entry >= 0 && c.entry < 5 ? chainPosition(inserted, key) : 0;
    if (c.countsInStore)
      EXPECT_EQ(result.indexProbeCount - before, expected) << c.id;
    else
      EXPECT_EQ(result.indexProbeCount, before) << c.id;
  }
  EXPECT_EQ(store.findReferencedImage(result, overlay, "img", 2), 1);
  EXPECT_EQ(store.findReferencedImage(result, overlay, "img", 3), 2);  // staged
  EXPECT_EQ(store.findReferencedImage(result, overlay, "q", 2), 3);    // pending
  EXPECT_EQ(store.findReferencedImage(result, overlay, "q", 1), -1);   // id matches, generation not

  EXPECT_EQ(store.resolveLatestImage(result, overlay, "never"), 0);
  EXPECT_EQ(store.resolveLatestImage(result, overlay, "img"), 3);  // the overlay wins
  CandidateOverlay empty = makeCandidateOverlay(1);
  EXPECT_EQ(store.resolveLatestImage(result, empty, "img"), 2);

  result.glyphAlphas = {glyphOf('c')};
  result.clips = {clipOf("c")};
  result.transforms = {transformOf("t")};
  EXPECT_EQ(store.findReferencedGlyph(result, overlay, "sha256:" + Text(64, 'c')), 0);
  EXPECT_EQ(store.findReferencedClip(result, overlay, "c"), 0);
  EXPECT_EQ(store.findReferencedTransform(result, overlay, "t"), 0);
  EXPECT_EQ(store.findReferencedTransform(result, overlay, "u"), -1);
}

// An override that writes the result's lists itself is seen by every later lookup, as a scan of
// the lists would see it.
TEST(ReferenceResolution, RecordsAnOverrideAppendsAreFoundLikeAnyOther) {
  class TrustingStore : public RetainedResourceStore {
   public:
    using RetainedResourceStore::RetainedResourceStore;
    bool admitPaint(AdmissionResult& result, CandidateOverlay& overlay,
                    const render::PaintRecord& paint) const override {
      if (paint.id != "unchecked") return RetainedResourceStore::admitPaint(result, overlay, paint);
      result.paints.push_back(paint);
      return true;
    }
  };
  const TrustingStore store(kSurface);
  CandidateOverlay overlay = makeCandidateOverlay(1);
  AdmissionResult result = makePreflightResult("o", 1);
  ASSERT_TRUE(store.admitPaint(result, overlay, paintOf("a")));
  ASSERT_TRUE(store.admitPaint(result, overlay, paintOf("unchecked")));
  EXPECT_EQ(store.findReferencedPaint(result, overlay, "unchecked"), 1);
  EXPECT_FALSE(store.RetainedResourceStore::admitPaint(result, overlay, paintOf("unchecked", 99)));
  EXPECT_EQ(result.message, "retained paint identity collision for unchecked");
  EXPECT_EQ(result.explicitComparisonCount, 1u);
  result.paints.erase(result.paints.begin());  // a list cut back from the front
  EXPECT_EQ(store.findReferencedPaint(result, overlay, "unchecked"), 0);
  EXPECT_EQ(store.findReferencedPaint(result, overlay, "a"), -1);
}

}  // namespace
}  // namespace retained
