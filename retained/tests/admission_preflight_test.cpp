// The preflight's rules and budgets, each as a row: store set-up, inputs, expected verdict,
// message, counters and the store left exactly as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "protocol_fixtures.hpp"
#include "render/signatures.hpp"
#include "retained/operation_result.hpp"
#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

using namespace retained::testing;

constexpr std::uint8_t kBinding = 1;
constexpr std::uint8_t kUpdate = 0;

const render::GlyphAlphaRecord kGlyph = glyphOf('1');

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

struct Counters {
  std::uint32_t validations = 0;
  std::uint32_t explicitComparisons = 0;
  std::uint32_t payloadComparisons = 0;
  std::uint32_t probes = 0;
};

struct PreflightRow {
  const char* name;
  Setup setup;
  std::uint8_t kind;
  render::OwnerFragment fragment;
  render::ResourceDelta delta;
  bool accepted;
  Text message;
  Counters counters;
  std::int64_t expectedRevision = -1;  // -1: the store's current revision
  Staged staged;
  std::vector<std::int32_t> paintRefs;  // checked when accepted
};

render::OwnerFragment withPaint(render::OwnerFragment fragment, const Text& paintId) {
  fragment.commands[0].paintId = paintId;
  return fragment;
}

render::ResourceDelta withSurface(render::ResourceDelta delta, const Text& surface) {
  delta.surfaceId = surface;
  return delta;
}

render::ResourceDelta withPaints(std::vector<render::PaintRecord> paints) {
  render::ResourceDelta delta = emptyDelta();
  delta.paints = std::move(paints);
  return delta;
}

render::OwnerFragment bindingB(const std::vector<std::int32_t>& sequences) { return fragmentOf("b", 1, sequences); }

render::OwnerFragment updateAWith(std::int32_t sequence55Generation, const Text& imageId = "img") {
  render::OwnerFragment fragment = ownerA(2);
  fragment.commands[1] = imageCommand(55, "a", imageId, sequence55Generation);
  return fragment;
}

render::OwnerFragment withCommand(render::OwnerFragment fragment, render::CommandRecord command) {
  fragment.commands[0] = std::move(command);
  return fragment;
}

render::CommandRecord commandOfKind(const Text& kind, const Text& resourceId) {
  render::CommandRecord command = drawCommand(70, "b");
  command.kind = kind;
  command.resourceId = resourceId;
  return command;
}

std::vector<PreflightRow> preflightRows() {
  const Text stale = "retained resource store stale revision: expected ";
  render::OwnerFragment generationZero = bindingB({70});
  generationZero.generation = 0;
  render::CommandRecord skipped = commandOfKind("glyphAlpha", "sha256:none");
  skipped.skipGlyphResolution = true;
  render::CommandRecord clipped = drawCommand(70, "b");
  clipped.clipId = "c9";
  render::CommandRecord transformed = drawCommand(70, "b");
  transformed.transformId = "t9";
  render::CommandRecord identity = drawCommand(70, "b");
  identity.transformId = "identity";
  const render::OwnerFragment shortA = fragmentOf("a", 2, {50, 55});
  const std::vector<render::PaintRecord> tooMany(65537, paintOf("x"));
  const Text full = "retained resource store exceeds 65536 entries/commands or 64 MiB";
  const std::uint64_t storePayload = 4 + 4;  // the 1x1 image and the 2x2 glyph of owner a
  return {
      {"a closed store refuses first",
       Setup::kClosed,
       kBinding,
       generationZero,
       withSurface(emptyDelta(), "other"),
       false,
       "retained resource store is not open",
       {},
       7},
      {"a store with an invalid surface refuses first",
       Setup::kInvalidSurface,
       kBinding,
       bindingB({70}),
       emptyDelta(),
       false,
       "retained resource store is not open",
       {}},
      {"a stale revision",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       emptyDelta(),
       false,
       stale + "0, current 1",
       {},
       0},
      {"a stale revision before a wrong surface",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withSurface(emptyDelta(), "other"),
       false,
       stale + "5, current 1",
       {},
       5},
      {"a wrong surface before an invalid fragment",
       Setup::kStandard,
       kBinding,
       generationZero,
       withSurface(emptyDelta(), "other"),
       false,
       "retained resource delta surface does not match store",
       {}},
      {"an invalid fragment",
       Setup::kStandard,
       kBinding,
       generationZero,
       emptyDelta(),
       false,
       "retained owner fragment requires bounded identity, positive generation, and source",
       {}},
      {"a binding of a bound owner",
       Setup::kStandard,
       kBinding,
       ownerA(2),
       emptyDelta(),
       false,
       "retained resource owner a is already bound",
       {0, 0, 0, 1}},
      {"an update of an unbound owner",
       Setup::kStandard,
       kUpdate,
       bindingB({70}),
       emptyDelta(),
       false,
       "retained resource owner b requires an initial binding",
       {}},
      {"an update at the stored generation",
       Setup::kStandard,
       kUpdate,
       ownerA(1),
       emptyDelta(),
       false,
       "retained resource owner a requires a newer fragment generation",
       {0, 0, 0, 1}},
      {"an update dropping a command",
       Setup::kStandard,
       kUpdate,
       shortA,
       emptyDelta(),
       false,
       "retained resource owner a must preserve its exact command range",
       {0, 0, 0, 1}},
      {"an update renumbering a command",
       Setup::kStandard,
       kUpdate,
       fragmentOf("a", 2, {50, 56, 60}),
       emptyDelta(),
       false,
       "retained resource owner a must preserve its exact command range",
       {0, 0, 0, 1}},
      {"an update lowering an image generation",
       Setup::kStandard,
       kUpdate,
       updateAWith(2),
       emptyDelta(),
       false,
       "retained resource owner a image img generation regressed from 3 to 2",
       {0, 0, 0, 1}},
      {"an update keeping every reference",
       Setup::kStandard,
       kUpdate,
       ownerA(2),
       emptyDelta(),
       true,
       "ok",
       {0, 0, 0, 6},
       -1,
       {},
       {0, -1, -1}},
      {"an update drawing another image is not compared",
       Setup::kStandard,
       kUpdate,
       updateAWith(1, "other"),
       [] {
         render::ResourceDelta delta = emptyDelta();
         delta.images = {readyImage("other", 1)};
         return delta;
       }(),
       true,
       "ok",
       {1, 0, 0, 5},
       -1,
       {},
       {0, -1, -1}},
      {"a binding overlapping another owner's range",
       Setup::kStandard,
       kBinding,
       bindingB({40, 50}),
       emptyDelta(),
       false,
       "retained resource owner b command range overlaps a",
       {}},
      {"a binding ending one below another owner's range",
       Setup::kStandard,
       kBinding,
       bindingB({40, 49}),
       emptyDelta(),
       true,
       "ok",
       {},
       -1,
       {},
       {-1, -1}},
      {"a delta of more than 65536 records",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withPaints(tooMany),
       false,
       "retained resource delta exceeds 65536 entries",
       {}},
      {"a resource colliding with a stored one",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withPaints({paintOf("p1", 99)}),
       false,
       "retained paint identity collision for p1",
       {0, 1, 0, 1}},
      {"entries at the budget",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withPaints({paintOf("n1")}),
       true,
       "ok",
       {1, 0, 0, 0},
       -1,
       {65536 - 5 - 1, 0, 0},
       {-1}},
      {"entries over the budget",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withPaints({paintOf("n1")}),
       false,
       full,
       {1, 0, 0, 0},
       -1,
       {65536 - 5, 0, 0}},
      {"payload at the budget",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       [] {
         render::ResourceDelta delta = emptyDelta();
         delta.images = {readyImage("n1", 1)};
         return delta;
       }(),
       true,
       "ok",
       {1, 0, 0, 0},
       -1,
       {0, 67108864 - storePayload - 4, 0},
       {-1}},
      {"payload one byte over the budget",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       [] {
         render::ResourceDelta delta = emptyDelta();
         delta.images = {readyImage("n1", 1)};
         return delta;
       }(),
       false,
       full,
       {1, 0, 0, 0},
       -1,
       {0, 67108864 - storePayload - 3, 0}},
      {"payload that would wrap 32 bits",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       emptyDelta(),
       false,
       full,
       {},
       -1,
       {0, 4294967296ULL - storePayload, 0}},
      {"index nodes at the budget",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withPaints({paintOf("n1")}),
       true,
       "ok",
       {1, 0, 0, 0},
       -1,
       {0, 0, 200704 - 10 - 1 - 2},
       {-1}},
      {"index nodes over the budget",
       Setup::kStandard,
       kBinding,
       bindingB({70}),
       withPaints({paintOf("n1")}),
       false,
       "retained resource store exceeds 200704 index nodes",
       {1, 0, 0, 0},
       -1,
       {0, 0, 200704 - 10 - 1 - 1}},
      {"a missing paint",
       Setup::kStandard,
       kBinding,
       withPaint(bindingB({70}), "zz"),
       emptyDelta(),
       false,
       "retained resource owner b references missing paint zz",
       {}},
      {"a paint the same delta brings",
       Setup::kStandard,
       kBinding,
       withPaint(bindingB({70, 71}), "n1"),
       withPaints({paintOf("n1")}),
       true,
       "ok",
       {1, 0, 0, 0},
       -1,
       {},
       {1, -1}},
      {"a missing image generation",
       Setup::kStandard,
       kBinding,
       withCommand(bindingB({70}), imageCommand(70, "b", "img", 4)),
       emptyDelta(),
       false,
       "retained resource owner b references missing image img@4",
       {}},
      {"a missing glyph",
       Setup::kStandard,
       kBinding,
       withCommand(bindingB({70}), commandOfKind("glyphAlpha", "sha256:none")),
       emptyDelta(),
       false,
       "retained resource owner b references missing glyph sha256:none",
       {}},
      {"a glyph whose lookup is skipped",
       Setup::kStandard,
       kBinding,
       withCommand(bindingB({70}), skipped),
       emptyDelta(),
       true,
       "ok",
       {},
       -1,
       {},
       {-1}},
      {"a missing clip",
       Setup::kStandard,
       kBinding,
       withCommand(bindingB({70}), clipped),
       emptyDelta(),
       false,
       "retained resource owner b references missing clip c9",
       {}},
      {"a missing transform",
       Setup::kStandard,
       kBinding,
       withCommand(bindingB({70}), transformed),
       emptyDelta(),
       false,
       "retained resource owner b references missing transform t9",
       {}},
      {"the identity transform needs no record",
       Setup::kStandard,
       kBinding,
       withCommand(bindingB({70}), identity),
       emptyDelta(),
       true,
       "ok",
       {},
       -1,
       {},
       {-1}},
      {"a binding repeating one of its sequences",
       Setup::kStandard,
       kBinding,
       bindingB({1, 1, 2}),
       emptyDelta(),
       false,
       "retained resource owner b repeats command sequence 1",
       {}},
      {"a binding naming another owner's sequence",
       Setup::kStandard,
       kBinding,
       bindingB({1, 55, 2}),
       emptyDelta(),
       false,
       "retained resource owner b command sequence 55 is held by a",
       {}},
      {"a missing reference before a foreign sequence",
       Setup::kStandard,
       kBinding,
       withPaint(bindingB({1, 55, 2}), "zz"),
       emptyDelta(),
       false,
       "retained resource owner b references missing paint zz",
       {}},
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
    EXPECT_EQ(result.validationCount, row.counters.validations);
    EXPECT_EQ(result.explicitComparisonCount, row.counters.explicitComparisons);
    EXPECT_EQ(result.payloadComparisonCount, row.counters.payloadComparisons);
    EXPECT_EQ(result.indexProbeCount, row.counters.probes);
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
