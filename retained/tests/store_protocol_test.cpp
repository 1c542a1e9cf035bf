// The commit protocol's promise: a foreign, consumed, stale, refused, kind-mismatched, changed
// or missing preparation never commits and says why, leaving every table as it was; the
// revision grows by one per committed admission, per committed batch and per first close, never
// on evaluation or preparation.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "protocol_fixtures.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_admission.hpp"
#include "retained/prepared_candidate_batch.hpp"
#include "retained/retained_resource_store.hpp"

namespace retained {
namespace {

using namespace retained::testing;

// Owner "a" (sequences 10, 11) bound with paint p1, at revision 1.
std::unique_ptr<RetainedResourceStore> storeWithOwnerA() {
  auto store = std::make_unique<RetainedResourceStore>(kSurface);
  render::ResourceDelta delta = emptyDelta();
  delta.paints = {paintOf("p1")};
  render::OwnerFragment fragment = fragmentOf("a", 1, {10, 11});
  fragment.commands[0].paintId = "p1";
  EXPECT_TRUE(store->admitBinding(fragment, delta, 0).ok);
  return store;
}

render::OwnerFragment updateOfA(std::int32_t generation) {
  render::OwnerFragment fragment = fragmentOf("a", generation, {10, 11});
  fragment.commands[1].paintId = "p2";
  return fragment;
}

render::ResourceDelta resourcesOfUpdate() {
  render::ResourceDelta delta = emptyDelta();
  delta.paints = {paintOf("p1"), paintOf("p2")};
  return delta;
}

// One attempted prepared commit: the scenario prepares (and perhaps disturbs) on the store and
// names what is handed to the commit.
struct PreparedCase {
  std::shared_ptr<PreparedAdmission> prepared;
  render::OwnerFragment fragment = updateOfA(2);
  render::ResourceDelta delta = resourcesOfUpdate();
  std::uint8_t kind = 0;
};

struct PreparedRow {
  const char* name;
  std::function<PreparedCase(RetainedResourceStore&)> scenario;
  Text message;
};

std::vector<PreparedRow> preparedRows() {
  return {
      {"a missing preparation", [](RetainedResourceStore&) { return PreparedCase{}; },
       "retained resource prepared admission is missing"},
      {"another store's preparation",
       [](RetainedResourceStore&) {
         auto other = storeWithOwnerA();
         return PreparedCase{other->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
       },
       "retained resource prepared admission belongs to another store"},
      {"another store's consumed preparation",
       [](RetainedResourceStore&) {
         auto other = storeWithOwnerA();
         auto prepared = other->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
         EXPECT_TRUE(other->commitPreparedUpdate(prepared, updateOfA(2), resourcesOfUpdate()).ok);
         return PreparedCase{prepared};
       },
       "retained resource prepared admission belongs to another store"},
      {"a consumed preparation",
       [](RetainedResourceStore& store) {
         auto prepared = store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
         EXPECT_TRUE(store.commitPreparedUpdate(prepared, updateOfA(2), resourcesOfUpdate()).ok);
         return PreparedCase{prepared};
       },
       "retained resource prepared admission was already consumed"},
      {"an update committed as a binding",
       [](RetainedResourceStore& store) {
         PreparedCase attempt{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
         attempt.kind = 1;
         return attempt;
       },
       "retained resource prepared admission kind does not match commit"},
      {"a refused preparation",
       [](RetainedResourceStore& store) {
         return PreparedCase{store.prepareUpdate(updateOfA(1), resourcesOfUpdate(), 1)};
       },
       "retained resource owner a requires a newer fragment generation"},
      {"a preparation made on a closed store",
       [](RetainedResourceStore& store) {
         store.close();
         return PreparedCase{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 2)};
       },
       "retained resource store is not open"},
      {"a preparation overtaken by another commit",
       [](RetainedResourceStore& store) {
         auto prepared = store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
         EXPECT_TRUE(store.admitBinding(fragmentOf("b", 1, {20}), emptyDelta(), 1).ok);
         return PreparedCase{prepared};
       },
       "retained resource prepared admission is stale: expected 1, current 2"},
      {"a preparation overtaken by a close",
       [](RetainedResourceStore& store) {
         auto prepared = store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
         store.close();
         return PreparedCase{prepared};
       },
       "retained resource prepared admission is stale: expected 1, current 2"},
      {"a changed fragment",
       [](RetainedResourceStore& store) {
         PreparedCase attempt{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
         attempt.fragment = updateOfA(3);
         return attempt;
       },
       "retained resource prepared admission inputs were changed"},
      {"a changed command",
       [](RetainedResourceStore& store) {
         PreparedCase attempt{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
         attempt.fragment.commands[1].paintId = "p1";
         return attempt;
       },
       "retained resource prepared admission inputs were changed"},
      {"a changed delta record",
       [](RetainedResourceStore& store) {
         PreparedCase attempt{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
         attempt.delta.paints[1].red = 1;
         return attempt;
       },
       "retained resource prepared admission inputs were changed"},
      {"swapped delta records",
       [](RetainedResourceStore& store) {
         PreparedCase attempt{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
         std::swap(attempt.delta.paints[0], attempt.delta.paints[1]);
         return attempt;
       },
       "retained resource prepared admission inputs were changed"},
      {"an extra delta record",
       [](RetainedResourceStore& store) {
         PreparedCase attempt{store.prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1)};
         attempt.delta.clips.push_back(clipOf("c"));
         return attempt;
       },
       "retained resource prepared admission inputs were changed"},
  };
}

TEST(StoreProtocol, APreparationThatMustNotCommitSaysWhyAndChangesNothing) {
  for (const PreparedRow& row : preparedRows()) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<RetainedResourceStore> store = storeWithOwnerA();
    const PreparedCase attempt = row.scenario(*store);
    const bool consumedBefore = attempt.prepared && attempt.prepared->consumed();
    const Text before = storeSnapshot(*store);
    const std::uint32_t revision = store->revision();
    for (int repeat = 0; repeat < 2; ++repeat) {
      const OperationResult result =
          store->commitPreparedAdmission(attempt.prepared, attempt.fragment, attempt.delta, attempt.kind);
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.message, row.message);
      EXPECT_EQ(result.revision, revision);
      EXPECT_EQ(result.validationCount + result.explicitComparisonCount + result.payloadComparisonCount, 0U);
      EXPECT_EQ(storeSnapshot(*store), before);
      if (attempt.prepared) {
        EXPECT_EQ(attempt.prepared->consumed(), consumedBefore);
      }
    }
  }
}

TEST(StoreProtocol, ARefusedCommitCanBeRetriedOnceItsCauseIsGone) {
  std::unique_ptr<RetainedResourceStore> store = storeWithOwnerA();
  auto prepared = store->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
  render::ResourceDelta otherSurface = resourcesOfUpdate();
  otherSurface.surfaceId = "elsewhere";  // the surface takes no part in the input comparison
  EXPECT_FALSE(store->commitPreparedBinding(prepared, updateOfA(2), otherSurface).ok);
  EXPECT_FALSE(store->commitPreparedUpdate(prepared, updateOfA(3), otherSurface).ok);
  const OperationResult committed = store->commitPreparedUpdate(prepared, updateOfA(2), otherSurface);
  EXPECT_TRUE(committed.ok) << committed.message;
  EXPECT_EQ(committed.revision, 2U);
  EXPECT_EQ(committed.validationCount, 1U);          // p2 is new
  EXPECT_EQ(committed.explicitComparisonCount, 1U);  // p1 is compared with the stored one
  EXPECT_TRUE(prepared->consumed());
  EXPECT_EQ(store->paintCount(), 2U);
  EXPECT_EQ(store->ownerCommandRef1(0, 1), 1);
  EXPECT_EQ(store->validationCount(), 2U);
  EXPECT_EQ(store->explicitComparisonCount(), 1U);
}

TEST(StoreProtocol, RevisionGrowsOncePerCommitAndFirstCloseOnly) {
  RetainedResourceStore store(kSurface);
  struct Step {
    const char* name;
    std::function<void()> run;
    std::uint32_t revision;
    std::uint32_t admissions;
  };
  std::shared_ptr<PreparedAdmission> prepared;
  std::shared_ptr<PreparedCandidateBatch> batch;
  const std::vector<render::OwnerFragment> updates = {fragmentOf("a", 3, {1}), fragmentOf("b", 2, {2}),
                                                      fragmentOf("c", 2, {3})};
  const std::vector<render::ResourceDelta> deltas(3, emptyDelta());
  const std::vector<Step> steps = {
      {"evaluate", [&] { EXPECT_TRUE(store.evaluateBinding(fragmentOf("a", 1, {1}), emptyDelta(), 0).ok); }, 0, 0},
      {"prepare", [&] { prepared = store.prepareBinding(fragmentOf("a", 1, {1}), emptyDelta(), 0); }, 0, 0},
      {"commit prepared",
       [&] { EXPECT_TRUE(store.commitPreparedBinding(prepared, fragmentOf("a", 1, {1}), emptyDelta()).ok); }, 1, 1},
      {"admit", [&] { EXPECT_TRUE(store.admitBinding(fragmentOf("b", 1, {2}), emptyDelta(), 1).ok); }, 2, 2},
      {"admit update", [&] { EXPECT_TRUE(store.admitUpdate(fragmentOf("a", 2, {1}), emptyDelta(), 2).ok); }, 3, 3},
      {"refused admit", [&] { EXPECT_FALSE(store.admitUpdate(fragmentOf("a", 2, {1}), emptyDelta(), 3).ok); }, 3, 3},
      {"bind c", [&] { EXPECT_TRUE(store.admitBinding(fragmentOf("c", 1, {3}), emptyDelta(), 3).ok); }, 4, 4},
      {"prepare batch", [&] { batch = store.prepareCandidateBatch(updates, deltas, 4); }, 4, 4},
      {"evaluate update", [&] { EXPECT_TRUE(store.evaluateUpdate(fragmentOf("b", 2, {2}), emptyDelta(), 4).ok); }, 4,
       4},
      {"commit batch of three", [&] { EXPECT_TRUE(store.commitPreparedCandidateBatch(batch, updates, deltas).ok); }, 5,
       5},
      {"commit batch again", [&] { EXPECT_FALSE(store.commitPreparedCandidateBatch(batch, updates, deltas).ok); }, 5,
       5},
      {"close", [&] { EXPECT_TRUE(store.close()); }, 6, 5},
      {"close again", [&] { EXPECT_TRUE(store.close()); }, 6, 5},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.run();
    EXPECT_EQ(store.revision(), step.revision);
    EXPECT_EQ(store.admissionCount(), step.admissions);
  }
  EXPECT_EQ(store.state(), "closed");
  EXPECT_EQ(store.commandCount(), 0U);
  EXPECT_EQ(store.indexKeyCount(), 0U);
  EXPECT_EQ(store.indexBucketCount(), 8192U);
  EXPECT_EQ(store.findOwner("a"), -1);
}

// A result the preflight did not accept is never applied, even when handed straight to the
// protected commit: an update of an unbound owner has no owner row to rewrite.
TEST(StoreProtocol, TheEvaluatedCommitRefusesAResultThatWasNotAccepted) {
  struct ExposedStore : RetainedResourceStore {
    using RetainedResourceStore::commitEvaluatedAdmission;
    using RetainedResourceStore::RetainedResourceStore;
  };
  ExposedStore store(kSurface);
  AdmissionResult refused = store.evaluateAdmission(fragmentOf("ghost", 2, {1}), emptyDelta(), 0, 0);
  ASSERT_FALSE(refused.accepted);
  refused.plan.commands = fragmentOf("ghost", 2, {1}).commands;
  refused.plan.paintRefs = refused.plan.imageRefs = refused.plan.glyphRefs = {-1};
  refused.plan.clipRefs = refused.plan.transformRefs = {-1};
  const Text before = storeSnapshot(store);
  const OperationResult result = store.commitEvaluatedAdmission(refused, 0);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "retained resource owner ghost requires an initial binding");
  EXPECT_EQ(storeSnapshot(store), before);
}

// Fragments and deltas of updates of owners a, b, c, each bound with one command.
struct BatchInputs {
  std::vector<render::OwnerFragment> fragments = {fragmentOf("a", 2, {1}), fragmentOf("b", 2, {2}),
                                                  fragmentOf("c", 2, {3})};
  std::vector<render::ResourceDelta> deltas = std::vector<render::ResourceDelta>(3, emptyDelta());
};

std::unique_ptr<RetainedResourceStore> storeWithThreeOwners() {
  auto store = std::make_unique<RetainedResourceStore>(kSurface);
  EXPECT_TRUE(store->admitBinding(fragmentOf("a", 1, {1}), emptyDelta(), 0).ok);
  EXPECT_TRUE(store->admitBinding(fragmentOf("b", 1, {2}), emptyDelta(), 1).ok);
  EXPECT_TRUE(store->admitBinding(fragmentOf("c", 1, {3}), emptyDelta(), 2).ok);
  return store;
}

struct BatchCase {
  std::shared_ptr<PreparedCandidateBatch> batch;
  BatchInputs inputs;
};

struct BatchRow {
  const char* name;
  std::function<BatchCase(RetainedResourceStore&)> scenario;
  Text message;
};

std::vector<BatchRow> batchCommitRows() {
  auto prepare = [](RetainedResourceStore& store) {
    BatchInputs inputs;
    return BatchCase{store.prepareCandidateBatch(inputs.fragments, inputs.deltas, 3), inputs};
  };
  return {
      {"a missing batch", [](RetainedResourceStore&) { return BatchCase{}; },
       "retained resource prepared candidate batch is missing"},
      {"another store's batch",
       [prepare](RetainedResourceStore&) {
         auto other = storeWithThreeOwners();
         return prepare(*other);
       },
       "retained resource prepared candidate batch belongs to another store"},
      {"a consumed batch",
       [prepare](RetainedResourceStore& store) {
         BatchCase attempt = prepare(store);
         EXPECT_TRUE(
             store.commitPreparedCandidateBatch(attempt.batch, attempt.inputs.fragments, attempt.inputs.deltas).ok);
         return attempt;
       },
       "retained resource prepared candidate batch was already consumed"},
      {"a refused batch",
       [](RetainedResourceStore& store) {
         BatchInputs inputs;
         inputs.fragments[1] = fragmentOf("b", 1, {2});
         return BatchCase{store.prepareCandidateBatch(inputs.fragments, inputs.deltas, 3), inputs};
       },
       "retained resource candidate batch item 1: retained resource owner b requires a newer fragment generation"},
      {"a stale batch",
       [prepare](RetainedResourceStore& store) {
         BatchCase attempt = prepare(store);
         EXPECT_TRUE(store.admitBinding(fragmentOf("d", 1, {4}), emptyDelta(), 3).ok);
         return attempt;
       },
       "retained resource prepared candidate batch is stale: expected 3, current 4"},
      {"reordered items",
       [prepare](RetainedResourceStore& store) {
         BatchCase attempt = prepare(store);
         std::swap(attempt.inputs.fragments[0], attempt.inputs.fragments[1]);
         std::swap(attempt.inputs.deltas[0], attempt.inputs.deltas[1]);
         return attempt;
       },
       "retained resource prepared candidate batch inputs were changed or reordered"},
      {"a changed item",
       [prepare](RetainedResourceStore& store) {
         BatchCase attempt = prepare(store);
         attempt.inputs.fragments[2].commands[0].attributeInt7 = 9;
         return attempt;
       },
       "retained resource prepared candidate batch inputs were changed or reordered"},
      {"an item left out",
       [prepare](RetainedResourceStore& store) {
         BatchCase attempt = prepare(store);
         attempt.inputs.fragments.pop_back();
         attempt.inputs.deltas.pop_back();
         return attempt;
       },
       "retained resource prepared candidate batch inputs were changed or reordered"},
  };
}

TEST(StoreProtocol, ABatchThatMustNotCommitSaysWhyAndChangesNothing) {
  for (const BatchRow& row : batchCommitRows()) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<RetainedResourceStore> store = storeWithThreeOwners();
    const BatchCase attempt = row.scenario(*store);
    const Text before = storeSnapshot(*store);
    for (int repeat = 0; repeat < 2; ++repeat) {
      const OperationResult result =
          store->commitPreparedCandidateBatch(attempt.batch, attempt.inputs.fragments, attempt.inputs.deltas);
      EXPECT_FALSE(result.ok);
      EXPECT_EQ(result.message, row.message);
      EXPECT_EQ(result.revision, store->revision());
      EXPECT_EQ(storeSnapshot(*store), before);
    }
  }
}

struct BatchPrepareRow {
  const char* name;
  std::vector<render::OwnerFragment> fragments;
  std::size_t deltaCount;
  Text message;
};

TEST(CandidateBatch, PreparationRefusesTheWholeBatchInOrder) {
  std::vector<render::OwnerFragment> many;
  for (std::int32_t i = 0; i < 17; ++i) {
    many.push_back(fragmentOf("o" + std::to_string(i), 2, std::vector<std::int32_t>(4096, 0)));
  }
  std::vector<std::int32_t> sequences(4096);
  for (std::size_t j = 0; j < sequences.size(); ++j) {
    sequences[j] = static_cast<std::int32_t>(j);
  }
  std::vector<render::OwnerFragment> exactly65536(16, fragmentOf("o", 2, sequences));
  const std::vector<BatchPrepareRow> rows = {
      {"no items", {}, 0, "retained resource candidate batch requires 1..4096 parallel fragment/delta items"},
      {"4097 items", std::vector<render::OwnerFragment>(4097, fragmentOf("a", 2, {1})), 4097,
       "retained resource candidate batch requires 1..4096 parallel fragment/delta items"},
      {"fewer deltas", std::vector<render::OwnerFragment>(3, fragmentOf("a", 2, {1})), 2,
       "retained resource candidate batch requires 1..4096 parallel fragment/delta items"},
      {"65537 commands", many, many.size(),
       "retained resource candidate batch exceeds 65536 commands or delta entries"},
      {"65536 commands pass to the duplicate pass", exactly65536, 16,
       "retained resource candidate batch duplicates owner o"},
      {"a repeated owner before a failing item",
       {fragmentOf("x", 1, {1}), fragmentOf("x", 2, {2})},
       2,
       "retained resource candidate batch duplicates owner x"},
      {"a sequence repeated within one fragment",
       {fragmentOf("a", 2, {1, 1})},
       1,
       "retained resource candidate batch duplicates command sequence 1"},
      {"a sequence repeated across fragments",
       {fragmentOf("a", 2, {1}), fragmentOf("b", 2, {1})},
       2,
       "retained resource candidate batch duplicates command sequence 1"},
      {"an unbound owner",
       {fragmentOf("a", 2, {1}), fragmentOf("z", 1, {9})},
       2,
       "retained resource candidate batch item 1: retained resource owner z requires an initial binding"},
  };
  for (const BatchPrepareRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::unique_ptr<RetainedResourceStore> store = storeWithThreeOwners();
    const Text before = storeSnapshot(*store);
    const auto batch = store->prepareCandidateBatch(
        row.fragments, std::vector<render::ResourceDelta>(row.deltaCount, emptyDelta()), 3);
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->accepted(), 0);
    EXPECT_EQ(batch->name(), row.message);
    EXPECT_EQ(batch->revision(), 3U);
    EXPECT_EQ(storeSnapshot(*store), before);
  }
}

TEST(CandidateBatch, LaterItemsSeeEarlierItemsResourcesAndCommitInOrder) {
  std::unique_ptr<RetainedResourceStore> store = storeWithThreeOwners();
  BatchInputs inputs;
  inputs.deltas[0].paints = {paintOf("shared")};
  inputs.deltas[0].images = {readyImage("pic", 1)};
  inputs.fragments[1].commands[0].paintId = "shared";
  inputs.fragments[2].commands[0] = imageCommand(3, "c", "pic", 1);
  inputs.deltas[2].paints = {paintOf("shared"), paintOf("own")};
  const auto batch = store->prepareCandidateBatch(inputs.fragments, inputs.deltas, 3);
  ASSERT_EQ(batch->accepted(), 1) << batch->name();
  EXPECT_EQ(batch->itemCount(), 3);
  EXPECT_EQ(batch->validationCount(), 3U);          // shared, pic, own
  EXPECT_EQ(batch->explicitComparisonCount(), 1U);  // item 2's shared against the staged one
  EXPECT_GT(batch->overlayProbeCount(), 0U);
  EXPECT_EQ(store->paintCount(), 0U);
  const AdmissionResult missing = batch->rebuildItemPreflight(3, inputs.fragments[0], inputs.deltas[0]);
  EXPECT_FALSE(missing.accepted);
  EXPECT_EQ(missing.message, "retained resource prepared candidate batch has no item 3");
  EXPECT_FALSE(batch->rebuildItemPreflight(-1, inputs.fragments[0], inputs.deltas[0]).accepted);

  const OperationResult committed = store->commitPreparedCandidateBatch(batch, inputs.fragments, inputs.deltas);
  ASSERT_TRUE(committed.ok) << committed.message;
  EXPECT_EQ(committed.revision, 4U);
  EXPECT_EQ(committed.validationCount, 3U);
  EXPECT_EQ(store->admissionCount(), 4U);
  EXPECT_EQ(store->paintCount(), 2U);
  EXPECT_EQ(store->storedPaint(0).id, "shared");
  EXPECT_EQ(store->storedPaint(1).id, "own");
  EXPECT_EQ(store->ownerCommandRef1(store->findOwner("b"), 0), 0);
  EXPECT_EQ(store->ownerCommandRef2(store->findOwner("c"), 0), 0);
  EXPECT_EQ(store->ownerGeneration(store->findOwner("c")), 2);
  EXPECT_EQ(batch->consumed(), 1);
}

TEST(CandidateBatch, OverlayBucketsArePowersOfTwoFrom64To8192) {
  const struct {
    std::int64_t items, commands, entries;
    std::int32_t buckets;
  } rows[] = {{1, 10, 5, 64},       {1, 1, 31, 64},           {1, 1, 32, 128},
              {100, 100, 100, 512}, {4096, 4096, 4096, 8192}, {4096, 65536, 65536, 8192}};
  for (const auto& row : rows) {
    EXPECT_EQ(candidateOverlayBucketCount(row.items, row.commands, row.entries), row.buckets)
        << row.items << " " << row.commands << " " << row.entries;
  }
}

}  // namespace
}  // namespace retained
