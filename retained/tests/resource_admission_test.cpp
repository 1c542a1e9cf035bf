// The five admission checks: known identities compared, new ones validated, every message and
// counter as the store reports them; and candidate staging.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "protocol_fixtures.hpp"
#include "render/signatures.hpp"
#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

using namespace retained::testing;

class WritableStore : public RetainedResourceStore {
 public:
  using RetainedResourceStore::applyDelta;
  using RetainedResourceStore::RetainedResourceStore;
};

// Stored: paint "p", image "img" generation 3, glyph 'a', clip "c", transform "t". Staged in the
// overlay: paint "sp".
struct Fixture {
  WritableStore store{kSurface};
  CandidateOverlay overlay = makeCandidateOverlay(1);
  AdmissionResult result = makePreflightResult("o", 2);

  Fixture() {
    AdmissionResult stocked = makePreflightResult("o", 1);
    stocked.plan.commands = {drawCommand(1, "o")};
    stocked.plan.paintRefs = stocked.plan.imageRefs = stocked.plan.glyphRefs = {-1};
    stocked.plan.clipRefs = stocked.plan.transformRefs = {-1};
    stocked.paints = {paintOf("p")};
    stocked.images = {readyImage("img", 3)};
    stocked.glyphAlphas = {glyphOf('a')};
    stocked.clips = {clipOf("c")};
    stocked.transforms = {transformOf("t")};
    EXPECT_TRUE(store.applyDelta(stocked, 1));
    AdmissionResult staged = makePreflightResult("o", 1);
    staged.paints = {paintOf("sp")};
    store.stageDelta(staged, overlay);
  }
};

using Admit = std::function<bool(Fixture&)>;

Admit paint(const render::PaintRecord& record) {
  return [record](Fixture& f) { return f.store.admitPaint(f.result, f.overlay, record); };
}
Admit image(const render::ImageRecord& record) {
  return [record](Fixture& f) { return f.store.admitImage(f.result, f.overlay, record); };
}
Admit glyph(const render::GlyphAlphaRecord& record) {
  return [record](Fixture& f) { return f.store.admitGlyphAlpha(f.result, f.overlay, record); };
}
Admit clip(const render::ClipRecord& record) {
  return [record](Fixture& f) { return f.store.admitClip(f.result, f.overlay, record); };
}
Admit transform(const render::TransformRecord& record) {
  return [record](Fixture& f) { return f.store.admitTransform(f.result, f.overlay, record); };
}

template <typename Record, typename Change>
Record with(Record record, Change change) {
  change(record);
  return record;
}

struct Case {
  const char* what;
  std::vector<Admit> calls;  // in order; the last one's answer is checked
  bool admitted;
  std::string message;  // of the result after the calls
  // validations, explicit comparisons, payload comparisons, new records in the result
  std::array<std::size_t, 4> counts;
};

TEST(ResourceAdmission, KnownRecordsAreComparedAndNewOnesValidated) {
  const std::string open = "preflight-not-complete";  // the message when nothing was refused
  const render::GlyphAlphaRecord storedGlyph = glyphOf('a');
  const std::string glyphB = "render glyph alpha resource " + glyphOf('b').id;
  const std::string longId(257, 'x');
  render::ImageRecord loading = readyImage("new", 1);
  loading.state = "loading";
  loading.resident = false;
  loading.sizeBytes = 0;
  loading.payloadHex.clear();
  const auto changedGlyph = [](auto change) { return glyph(with(glyphOf('b'), change)); };
  const auto changedPaint = [](auto change) { return paint(with(paintOf("q"), change)); };

  const std::vector<Case> cases = {
      // Paints.
      {"stored paint", {paint(paintOf("p"))}, true, open, {0, 1, 0, 0}},
      {"stored id", {paint(paintOf("p", 11))}, false, "retained paint identity collision for p", {0, 1, 0, 0}},
      {"staged paint", {paint(paintOf("sp"))}, true, open, {0, 1, 0, 0}},
      {"new paint", {paint(paintOf("n"))}, true, open, {1, 0, 0, 1}},
      {"twice in a delta", {paint(paintOf("n")), paint(paintOf("n"))}, true, open, {1, 1, 0, 1}},
      {"id twice",
       {paint(paintOf("n")), paint(paintOf("n", 9))},
       false,
       "retained paint identity collision for n",
       {1, 1, 0, 1}},
      {"empty id", {paint(paintOf(""))}, false, "render paint requires a nonempty id", {1, 0, 0, 0}},
      {"channel",
       {changedPaint([](auto& r) { r.blue = 256; })},
       false,
       "render paint q requires RGBA channels from 0 through 255",
       {1, 0, 0, 0}},
      {"border",
       {changedPaint([](auto& r) { r.borderWidth = -1; })},
       false,
       "render paint q requires nonnegative radius and border width",
       {1, 0, 0, 0}},
      {"opacity",
       {changedPaint([](auto& r) { r.opacity = 101; })},
       false,
       "render paint q requires opacity from 0 through 100",
       {1, 0, 0, 0}},
      {"id of 257 bytes", {paint(paintOf(longId))}, false, "retained paint id exceeds 256 bytes", {1, 0, 0, 0}},
      {"long id, opacity",
       {paint(with(paintOf(longId), [](auto& r) { r.opacity = 101; }))},
       false,
       "render paint " + longId + " requires opacity from 0 through 100",
       {1, 0, 0, 0}},
      // Images.
      {"stored image", {image(readyImage("img", 3))}, true, open, {0, 1, 1, 0}},
      {"stored identity",
       {image(readyImage("img", 3, 1, 1, 'b'))},
       false,
       "retained image identity collision for img@3",
       {0, 1, 1, 0}},
      {"older generation",
       {image(readyImage("img", 2))},
       false,
       "retained image img generation regressed from 3 to 2",
       {0, 0, 0, 0}},
      {"generation 0, known id",
       {image(readyImage("img", 0))},
       false,
       "retained image img generation regressed from 3 to 0",
       {0, 0, 0, 0}},
      {"generation 0, new id",
       {image(readyImage("new", 0))},
       false,
       "render image new requires a positive generation",
       {1, 0, 0, 0}},
      {"newer generation", {image(readyImage("img", 5))}, true, open, {1, 0, 0, 1}},
      {"placeholder", {image(loading)}, true, open, {1, 0, 0, 1}},
      {"pending regressed",
       {image(readyImage("new", 2)), image(readyImage("new", 1))},
       false,
       "retained image new generation regressed from 2 to 1",
       {1, 0, 0, 1}},
      {"pending repeated", {image(readyImage("new", 2)), image(readyImage("new", 2))}, true, open, {1, 1, 1, 1}},
      // Glyph alpha masks.
      {"stored glyph", {glyph(storedGlyph)}, true, open, {0, 1, 1, 0}},
      {"other source",
       {glyph(with(storedGlyph, [](auto& r) { r.source = "x"; }))},
       false,
       "retained glyph identity collision for " + storedGlyph.id,
       {0, 1, 1, 0}},
      {"upper-case digest", {glyph(glyphOf('B'))}, true, open, {1, 0, 0, 1}},
      {"63 digits",
       {changedGlyph([](auto& r) { r.id.pop_back(); })},
       false,
       "render glyph alpha resource requires a sha256 content identity",
       {1, 0, 0, 0}},
      {"65 digits",
       {changedGlyph([](auto& r) { r.id += "b"; })},
       false,
       "render glyph alpha resource requires a sha256 content identity",
       {1, 0, 0, 0}},
      {"no source",
       {changedGlyph([](auto& r) { r.source.clear(); })},
       false,
       glyphB + " requires a source",
       {1, 0, 0, 0}},
      {"format",
       {changedGlyph([](auto& r) { r.format = "a8"; })},
       false,
       glyphB + " format must be a8-unorm-hex",
       {1, 0, 0, 0}},
      {"width 0", {glyph(glyphOf('b', 0, 1))}, false, glyphB + " dimensions must be within 1..4096", {1, 0, 0, 0}},
      {"4096 x 128", {glyph(glyphOf('b', 4096, 128))}, true, open, {1, 0, 0, 1}},
      {"4096 x 129",
       {glyph(glyphOf('b', 4096, 129))},
       false,
       glyphB + " requires tightly packed rows within 512 KiB",
       {1, 0, 0, 0}},
      {"row stride",
       {changedGlyph([](auto& r) { r.rowStride = 3; })},
       false,
       glyphB + " requires tightly packed rows within 512 KiB",
       {1, 0, 0, 0}},
      {"short payload",
       {changedGlyph([](auto& r) { r.payloadHex.pop_back(); })},
       false,
       glyphB + " payload must be exact A8 hexadecimal data",
       {1, 0, 0, 0}},
      {"non-hex payload",
       {changedGlyph([](auto& r) { r.payloadHex[3] = 'g'; })},
       false,
       glyphB + " payload must be exact A8 hexadecimal data",
       {1, 0, 0, 0}},
      // Clips.
      {"stored clip id", {clip({"c", 0, 0, 6, 5, 0})}, false, "retained clip identity collision for c", {0, 1, 0, 0}},
      {"negative origin", {clip({"n", -5, -5, 1, 1, 0})}, true, open, {1, 0, 0, 1}},
      {"width 0",
       {clip({"n", 0, 0, 0, 1, 0})},
       false,
       "retained resource clip n requires positive bounds and a nonnegative radius",
       {1, 0, 0, 0}},
      {"clip id",
       {clip({longId, 0, 0, 1, 1, 0})},
       false,
       "retained resource clip requires an id of 1..256 bytes",
       {1, 0, 0, 0}},
      // Transforms.
      {"stored transform", {transform(transformOf("t"))}, true, open, {0, 1, 0, 0}},
      {"reserved id",
       {transform(transformOf("identity"))},
       false,
       "render transform id identity is reserved for the built-in identity transform",
       {1, 0, 0, 0}},
      {"reserved id, other case", {transform(transformOf("Identity"))}, true, open, {1, 0, 0, 1}},
      {"id of 65 bytes",
       {transform(transformOf(std::string(65, 't')))},
       false,
       "render transform requires a nonempty id of at most 64 bytes",
       {1, 0, 0, 0}},
      {"every bound", {transform({"n", -1000000, 1000000, 1, 10000, 360000})}, true, open, {1, 0, 0, 1}},
      {"translation",
       {transform({"n", -1000001, 0, 100, 100, 0})},
       false,
       "render transform n translation must be within -1000000..1000000",
       {1, 0, 0, 0}},
      {"scale",
       {transform({"n", 0, 0, 100, 10001, 0})},
       false,
       "render transform n scale must be within 1..10000 percent",
       {1, 0, 0, 0}},
      {"rotation",
       {transform({"n", 0, 0, 100, 100, -360001})},
       false,
       "render transform n rotation must be within -360000..360000 millidegrees",
       {1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    const Text before = storeSnapshot(f.store);
    bool admitted = false;
    for (const Admit& call : c.calls) admitted = call(f);
    EXPECT_EQ(admitted, c.admitted);
    EXPECT_EQ(f.result.message, c.message);
    const std::array<std::size_t, 4> counts = {
        f.result.validationCount, f.result.explicitComparisonCount, f.result.payloadComparisonCount,
        f.result.paints.size() + f.result.images.size() + f.result.glyphAlphas.size() + f.result.clips.size() +
            f.result.transforms.size()};
    EXPECT_EQ(counts, c.counts);
    EXPECT_EQ(storeSnapshot(f.store), before);
    EXPECT_EQ(f.overlay.paints.size(), 1u);
  }
}

TEST(CandidateStaging, StagedRecordsCountOnPastTheStoreRows) {
  Fixture f;  // stores 1 paint and image "img" generation 3; stages paint "sp" at entry 1
  const Text before = storeSnapshot(f.store);
  const CandidateOverlay untouched = f.overlay;
  f.store.stageDelta(makePreflightResult("o", 2), f.overlay);
  EXPECT_EQ(f.overlay.resourceIndex.probeCount, untouched.resourceIndex.probeCount);
  EXPECT_EQ(f.overlay.stagedIndexNodes, 1u);

  AdmissionResult first = makePreflightResult("o", 2);
  first.paints = {paintOf("a"), paintOf("b")};
  first.images = {readyImage("fresh", 1, 2, 2), readyImage("img", 4)};  // new id: 2 nodes; stored id: 1
  first.glyphAlphas = {glyphOf('d', 3, 2)};
  first.clips = {clipOf("k")};
  f.store.stageDelta(first, f.overlay);
  AdmissionResult second = makePreflightResult("o", 3);
  second.images = {readyImage("fresh", 2)};  // staged id: 1 node
  second.transforms = {transformOf("u")};
  f.store.stageDelta(second, f.overlay);

  struct Key {
    Text key;
    std::int32_t entry;
  };
  const Key keys[] = {{resourceKey("paint", "sp", 0), 1},
                      {resourceKey("paint", "a", 0), 2},
                      {resourceKey("paint", "b", 0), 3},
                      {resourceKey("image-generation", "fresh", 1), 1},
                      {resourceKey("image-generation", "img", 4), 2},
                      {resourceKey("image-latest", "img", 0), 2},
                      {resourceKey("image-generation", "fresh", 2), 3},
                      {resourceKey("image-latest", "fresh", 0), 3},
                      {resourceKey("glyph", glyphOf('d').id, 0), 1},
                      {resourceKey("clip", "k", 0), 1},
                      {resourceKey("transform", "u", 0), 1}};
  for (const Key& k : keys) EXPECT_EQ(f.overlay.resourceIndex.get(k.key), k.entry) << k.key;
  EXPECT_EQ(f.overlay.stagedIndexNodes, 1u + 2u + 2u + 1u + 1u + 1u + 1u + 1u);
  EXPECT_EQ(f.overlay.stagedPayloadBytes, 16u + 4u + 6u + 4u);
  EXPECT_EQ(f.overlay.images.size(), 3u);
  // The store still names its own row as the latest generation, and is otherwise unchanged.
  EXPECT_EQ(f.store.indexGet(resourceKey("image-latest", "img", 0)), 0);
  EXPECT_EQ(storeSnapshot(f.store), before);
  EXPECT_EQ(f.store.imageAt(f.overlay, 3).generation, 2);
}

}  // namespace
}  // namespace retained
