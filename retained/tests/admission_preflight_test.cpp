// The preflight's rules and budgets, each as a row: store set-up, inputs, expected verdict,
// message, counters and the store left exactly as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "protocol_fixtures.hpp"
#include "render/signatures.hpp"
#include "retained/admission_kind.hpp"
#include "retained/operation_result.hpp"
#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

using namespace retained::testing;

const render::GlyphAlphaRecord kGlyph = glyphOf('1');
const Text kNotOpen = "retained resource store is not open";

// Owner "a" at generation 1 holding sequences 50 (paint p1, clip c1, transform t1), 55 (image
// img generation 3) and 60 (glyph); the store is at revision 1 with five entries.
render::OwnerFragment ownerA(std::int32_t generation) {
  render::OwnerFragment fragment = fragmentOf("a", generation, {50, 55, 60});
  fragment.commands[0].paintId = "p1";
  fragment.commands[0].clipId = "c1";
  fragment.commands[0].transformId = "t1";
  fragment.commands[1] = imageCommand(55, "a", "img", 3);
  fragment.commands[2].kind = "glyphAlpha";
  fragment.commands[2].resourceId = kGlyph.id;
  return fragment;
}

render::ResourceDelta resourcesOfA() {
  render::ResourceDelta delta = emptyDelta();
  delta.paints = {paintOf("p1")};
  delta.images = {readyImage("img", 3)};
  delta.glyphAlphas = {kGlyph};
  delta.clips = {clipOf("c1")};
  delta.transforms = {transformOf("t1")};
  return delta;
}

enum class Setup { kStandard, kClosed, kInvalidSurface };

std::unique_ptr<RetainedResourceStore> makeStore(Setup setup) {
  auto store = std::make_unique<RetainedResourceStore>(setup == Setup::kInvalidSurface ? "" : kSurface);
  if (setup == Setup::kInvalidSurface) {
    return store;
  }
  const OperationResult bound = store->admitBinding(ownerA(1), resourcesOfA(), 0);
  EXPECT_TRUE(bound.ok) << bound.message;
  if (setup == Setup::kClosed) {
    store->close();
  }
  return store;
}

struct Staged {
  std::size_t paints = 0;
  std::uint64_t payloadBytes = 0;
  std::uint64_t indexNodes = 0;
};

// One row: set-up, inputs and what the preflight must answer. Rows are built by `row` and the
// chained setters, so that each reads as one sentence.
struct PreflightRow {
  const char* name;
  std::uint8_t kind;
  render::OwnerFragment fragment;
  render::ResourceDelta delta;
  Setup setup = Setup::kStandard;
  std::int64_t expectedRevision = -1;  // -1: the store's current revision
  Staged staged;
  bool accepted = true;
  Text message = "ok";
  std::uint32_t validations = 0, explicitComparisons = 0, probes = 0;
  std::vector<std::int32_t> paintRefs;  // checked when accepted

  PreflightRow& on(Setup s) {
    setup = s;
    return *this;
  }
  PreflightRow& expecting(std::int64_t revision) {
    expectedRevision = revision;
    return *this;
  }
  PreflightRow& staging(Staged s) {
    staged = s;
    return *this;
  }
  PreflightRow& refused(Text m) {
    accepted = false;
    message = std::move(m);
    return *this;
  }
  PreflightRow& counting(std::uint32_t v, std::uint32_t e, std::uint32_t p) {
    validations = v;
    explicitComparisons = e;
    probes = p;
    return *this;
  }
  PreflightRow& refs(std::vector<std::int32_t> r) {
    paintRefs = std::move(r);
    return *this;
  }
};

PreflightRow row(const char* name, std::uint8_t kind, render::OwnerFragment fragment,
                 render::ResourceDelta delta = emptyDelta()) {
  return PreflightRow{name, kind, std::move(fragment), std::move(delta)};
}

render::OwnerFragment withCommand(render::OwnerFragment fragment, render::CommandRecord command) {
  fragment.commands[0] = std::move(command);
  return fragment;
}

render::OwnerFragment bindingB(const std::vector<std::int32_t>& sequences, const Text& paintId = "") {
  render::OwnerFragment fragment = fragmentOf("b", 1, sequences);
  fragment.commands[0].paintId = paintId;
  return fragment;
}

render::CommandRecord commandOfB(const Text& kind, const Text& resourceId = "") {
  render::CommandRecord command = drawCommand(70, "b");
  command.kind = kind;
  command.resourceId = resourceId;
  return command;
}

render::OwnerFragment updateAWith(std::int32_t generation, const Text& imageId = "img") {
  render::OwnerFragment fragment = ownerA(2);
  fragment.commands[1] = imageCommand(55, "a", imageId, generation);
  return fragment;
}

render::ResourceDelta deltaOf(std::vector<render::PaintRecord> paints, std::vector<render::ImageRecord> images = {},
                              const Text& surface = kSurface) {
  render::ResourceDelta delta = emptyDelta(surface);
  delta.paints = std::move(paints);
  delta.images = std::move(images);
  return delta;
}

std::vector<PreflightRow> preflightRows() {
  const Text stale = "retained resource store stale revision: expected ";
  const Text full = "retained resource store exceeds 65536 entries/commands or 64 MiB";
  const Text range = "retained resource owner a must preserve its exact command range";
  const render::ResourceDelta elsewhere = emptyDelta("other");
  render::OwnerFragment generationZero = bindingB({70});
  generationZero.generation = 0;
  render::OwnerFragment updateA55 = ownerA(2);  // its second command renumbered to 56
  updateA55.commands[1].sequence = 56;
  render::CommandRecord skipped = commandOfB("glyphAlpha", "sha256:none");
  skipped.skipGlyphResolution = true;
  render::CommandRecord clipped = drawCommand(70, "b");
  clipped.clipId = "c9";
  render::CommandRecord transformed = drawCommand(70, "b");
  transformed.transformId = "t9";
  render::CommandRecord identity = drawCommand(70, "b");
  identity.transformId = "identity";
  const std::uint64_t storePayload = 4 + 4;  // the 1x1 image and the 2x2 glyph of owner a
  const std::uint64_t storeKeys = 10;        // six resource keys, one binding, three sequences
  const std::vector<render::ImageRecord> oneImage = {readyImage("n1", 1)};
  return {
      row("a closed store refuses first", kBindingAdmission, generationZero, elsewhere)
          .on(Setup::kClosed)
          .expecting(7)
          .refused(kNotOpen),
      row("an invalid surface refuses first", kBindingAdmission, bindingB({70}))
          .on(Setup::kInvalidSurface)
          .refused(kNotOpen),
      row("a stale revision", kBindingAdmission, bindingB({70})).expecting(0).refused(stale + "0, current 1"),
      row("a stale revision before a wrong surface", kBindingAdmission, bindingB({70}), elsewhere)
          .expecting(5)
          .refused(stale + "5, current 1"),
      row("a wrong surface before an invalid fragment", kBindingAdmission, generationZero, elsewhere)
          .refused("retained resource delta surface does not match store"),
      row("an invalid fragment", kBindingAdmission, generationZero)
          .refused("retained owner fragment requires bounded identity, positive generation, and source"),
      row("a binding of a bound owner", kBindingAdmission, ownerA(2))
          .refused("retained resource owner a is already bound")
          .counting(0, 0, 1),
      row("an update of an unbound owner", kUpdateAdmission, bindingB({70}))
          .refused("retained resource owner b requires an initial binding"),
      row("an update at the stored generation", kUpdateAdmission, ownerA(1))
          .refused("retained resource owner a requires a newer fragment generation")
          .counting(0, 0, 1),
      row("an update dropping a command", kUpdateAdmission, fragmentOf("a", 2, {50, 55}))
          .refused(range)
          .counting(0, 0, 1),
      row("an update renumbering a command", kUpdateAdmission, updateA55).refused(range).counting(0, 0, 1),
      row("an update lowering an image generation", kUpdateAdmission, updateAWith(2))
          .refused("retained resource owner a image img generation regressed from 3 to 2")
          .counting(0, 0, 1),
      row("an update keeping every reference", kUpdateAdmission, ownerA(2)).counting(0, 0, 6).refs({0, -1, -1}),
      row("an update drawing another image is not compared", kUpdateAdmission, updateAWith(1, "other"),
          deltaOf({}, {readyImage("other", 1)}))
          .counting(1, 0, 5)
          .refs({0, -1, -1}),
      row("a binding overlapping another owner's range", kBindingAdmission, bindingB({40, 50}))
          .refused("retained resource owner b command range overlaps a"),
      row("a binding ending one below another owner's range", kBindingAdmission, bindingB({40, 49})).refs({-1, -1}),
      row("a delta of more than 65536 records", kBindingAdmission, bindingB({70}),
          deltaOf(std::vector<render::PaintRecord>(65537, paintOf("x"))))
          .refused("retained resource delta exceeds 65536 entries"),
      row("a resource colliding with a stored one", kBindingAdmission, bindingB({70}), deltaOf({paintOf("p1", 99)}))
          .refused("retained paint identity collision for p1")
          .counting(0, 1, 1),
      row("entries at the budget", kBindingAdmission, bindingB({70}), deltaOf({paintOf("n1")}))
          .staging({65536 - 5 - 1, 0, 0})
          .counting(1, 0, 0)
          .refs({-1}),
      row("entries over the budget", kBindingAdmission, bindingB({70}), deltaOf({paintOf("n1")}))
          .staging({65536 - 5, 0, 0})
          .refused(full)
          .counting(1, 0, 0),
      row("payload at the budget", kBindingAdmission, bindingB({70}), deltaOf({}, oneImage))
          .staging({0, 67108864 - storePayload - 4, 0})
          .counting(1, 0, 0)
          .refs({-1}),
      row("payload one byte over the budget", kBindingAdmission, bindingB({70}), deltaOf({}, oneImage))
          .staging({0, 67108864 - storePayload - 3, 0})
          .refused(full)
          .counting(1, 0, 0),
      row("payload that would wrap 32 bits", kBindingAdmission, bindingB({70}))
          .staging({0, 4294967296ULL - storePayload, 0})
          .refused(full),
      row("index nodes at the budget", kBindingAdmission, bindingB({70}), deltaOf({paintOf("n1")}))
          .staging({0, 0, 200704 - storeKeys - 1 - 2})
          .counting(1, 0, 0)
          .refs({-1}),
      row("index nodes over the budget", kBindingAdmission, bindingB({70}), deltaOf({paintOf("n1")}))
          .staging({0, 0, 200704 - storeKeys - 1 - 1})
          .refused("retained resource store exceeds 200704 index nodes")
          .counting(1, 0, 0),
      row("a missing paint", kBindingAdmission, bindingB({70}, "zz"))
          .refused("retained resource owner b references missing paint zz"),
      row("a paint the same delta brings", kBindingAdmission, bindingB({70, 71}, "n1"), deltaOf({paintOf("n1")}))
          .counting(1, 0, 0)
          .refs({1, -1}),
      row("a missing image generation", kBindingAdmission, withCommand(bindingB({70}), imageCommand(70, "b", "img", 4)))
          .refused("retained resource owner b references missing image img@4"),
      row("a missing glyph", kBindingAdmission, withCommand(bindingB({70}), commandOfB("glyphAlpha", "sha256:none")))
          .refused("retained resource owner b references missing glyph sha256:none"),
      row("a glyph whose lookup is skipped", kBindingAdmission, withCommand(bindingB({70}), skipped)).refs({-1}),
      row("a missing clip", kBindingAdmission, withCommand(bindingB({70}), clipped))
          .refused("retained resource owner b references missing clip c9"),
      row("a missing transform", kBindingAdmission, withCommand(bindingB({70}), transformed))
          .refused("retained resource owner b references missing transform t9"),
      row("the identity transform needs no record", kBindingAdmission, withCommand(bindingB({70}), identity))
          .refs({-1}),
      row("a binding repeating one of its sequences", kBindingAdmission, bindingB({1, 1, 2}))
          .refused("retained resource owner b repeats command sequence 1"),
      row("a binding naming another owner's sequence", kBindingAdmission, bindingB({1, 55, 2}))
          .refused("retained resource owner b command sequence 55 is held by a"),
      row("a missing reference before a foreign sequence", kBindingAdmission, bindingB({1, 55, 2}, "zz"))
          .refused("retained resource owner b references missing paint zz"),
  };
}

TEST(AdmissionPreflight, EachRuleAndBudgetAnswersInItsOrder) {
  for (const PreflightRow& row : preflightRows()) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<RetainedResourceStore> store = makeStore(row.setup);
    const Text before = storeSnapshot(*store);
    CandidateOverlay overlay = makeCandidateOverlay(1);
    overlay.paints.resize(row.staged.paints);
    overlay.stagedPayloadBytes = row.staged.payloadBytes;
    overlay.stagedIndexNodes = row.staged.indexNodes;
    const std::uint32_t expected =
        row.expectedRevision < 0 ? store->revision() : static_cast<std::uint32_t>(row.expectedRevision);
    const AdmissionResult result = store->preflightAdmission(row.fragment, row.delta, expected, row.kind, overlay);
    EXPECT_EQ(result.accepted, row.accepted);
    EXPECT_EQ(result.message, row.message);
    EXPECT_EQ(result.validationCount, row.validations);
    EXPECT_EQ(result.explicitComparisonCount, row.explicitComparisons);
    EXPECT_EQ(result.payloadComparisonCount, 0U);
    EXPECT_EQ(result.indexProbeCount, row.probes);
    if (row.accepted) {
      EXPECT_EQ(result.plan.paintRefs, row.paintRefs);
      EXPECT_EQ(result.plan.commands.size(), row.fragment.commands.size());
      EXPECT_EQ(result.plan.firstCommandSequence, row.fragment.commands.front().sequence);
      EXPECT_EQ(result.plan.lastCommandSequence, row.fragment.commands.back().sequence);
    }
    EXPECT_EQ(storeSnapshot(*store), before);
    // The single-admission road gives the same verdict when nothing is staged.
    if (row.staged.paints == 0 && row.staged.payloadBytes == 0 && row.staged.indexNodes == 0) {
      const AdmissionResult evaluated = store->evaluateAdmission(row.fragment, row.delta, expected, row.kind);
      EXPECT_EQ(evaluated.message, result.message);
      EXPECT_EQ(evaluated.indexProbeCount, result.indexProbeCount);
    }
  }
}

// The owner and command budgets need a store that is really that full.
TEST(AdmissionPreflight, OwnerBudgetRefusesTheOwnerAfter4096) {
  RetainedResourceStore store(kSurface);
  for (std::int32_t i = 0; i < 4095; ++i) {
    const Text id = "o" + std::to_string(i);
    ASSERT_TRUE(store.admitBinding(fragmentOf(id, 1, {i}), emptyDelta(), store.revision()).ok);
  }
  const OperationResult last = store.admitBinding(fragmentOf("last", 1, {5000}), emptyDelta(), 4095);
  EXPECT_TRUE(last.ok) << last.message;
  const OperationResult over = store.evaluateBinding(fragmentOf("over", 1, {5001}), emptyDelta(), 4096);
  EXPECT_FALSE(over.ok);
  EXPECT_EQ(over.message, "retained resource store exceeds 4096 owners");
  EXPECT_TRUE(store.evaluateUpdate(fragmentOf("o7", 2, {7}), emptyDelta(), 4096).ok);
  EXPECT_EQ(store.ownerCount(), 4096U);
}

TEST(AdmissionPreflight, CommandBudgetCountsTheStoreAndTheReplacedRange) {
  RetainedResourceStore store(kSurface);
  std::vector<std::int32_t> sequences(4096);
  for (std::int32_t owner = 0; owner < 16; ++owner) {
    for (std::int32_t j = 0; j < 4096; ++j) {
      sequences[static_cast<std::size_t>(j)] = owner * 4096 + j;
    }
    if (owner == 15) {
      sequences.pop_back();
    }
    const Text id = "o" + std::to_string(owner);
    ASSERT_TRUE(store.admitBinding(fragmentOf(id, 1, sequences), emptyDelta(), store.revision()).ok);
  }
  ASSERT_EQ(store.commandCount(), 65535U);
  EXPECT_TRUE(store.evaluateUpdate(fragmentOf("o15", 2, sequences), emptyDelta(), 16).ok);
  EXPECT_TRUE(store.admitBinding(fragmentOf("last", 1, {70000}), emptyDelta(), 16).ok);
  const OperationResult over = store.evaluateBinding(fragmentOf("over", 1, {70001}), emptyDelta(), 17);
  EXPECT_EQ(over.message, "retained resource store exceeds 65536 entries/commands or 64 MiB");
  EXPECT_TRUE(store.evaluateUpdate(fragmentOf("o15", 2, sequences), emptyDelta(), 17).ok);
}

}  // namespace
}  // namespace retained
