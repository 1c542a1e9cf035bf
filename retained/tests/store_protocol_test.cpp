// The commit protocol where the randomised model run does not reach: missing preparations and
// batches, every way a prepared input can differ, the rebuilt result, the protected commit of an
// unaccepted result, the batch's own refusals and sizes, and the counters a commit hands on.
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

// An update of "a" whose second command takes the new paint p2; p1 is resubmitted unchanged.
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

TEST(PreparedAdmission, InputsCompareByCountThenSignatureAndTheResultIsRebuiltFromThem) {
  std::unique_ptr<RetainedResourceStore> store = storeWithOwnerA();
  const auto prepared = store->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
  ASSERT_TRUE(prepared->accepted());
  const struct {
    const char* name;
    std::function<void(render::OwnerFragment&, render::ResourceDelta&)> change;
    bool unchanged;
  } rows[] = {
      {"equal copies", [](render::OwnerFragment&, render::ResourceDelta&) {}, true},
      {"only the surface", [](render::OwnerFragment&, render::ResourceDelta& d) { d.surfaceId = "x"; }, true},
      {"the generation", [](render::OwnerFragment& f, render::ResourceDelta&) { f.generation = 3; }, false},
      {"a command field",
       [](render::OwnerFragment& f, render::ResourceDelta&) { f.commands[1].inner.innerText2 = "x"; }, false},
      {"one command more",
       [](render::OwnerFragment& f, render::ResourceDelta&) { f.commands.push_back(f.commands[1]); }, false},
      {"a record field", [](render::OwnerFragment&, render::ResourceDelta& d) { d.paints[1].opacity = 1; }, false},
      {"two records swapped",
       [](render::OwnerFragment&, render::ResourceDelta& d) { std::swap(d.paints[0], d.paints[1]); }, false},
      {"one record more", [](render::OwnerFragment&, render::ResourceDelta& d) { d.clips.push_back(clipOf("c")); },
       false},
      {"one record less", [](render::OwnerFragment&, render::ResourceDelta& d) { d.paints.pop_back(); }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    render::OwnerFragment fragment = updateOfA(2);
    render::ResourceDelta delta = resourcesOfUpdate();
    row.change(fragment, delta);
    EXPECT_EQ(prepared->inputsUnchanged(fragment, delta), row.unchanged);
  }

  // The stored p1 is skipped, the new p2 taken; of two records with one signature the earlier is.
  render::ResourceDelta twice = resourcesOfUpdate();
  twice.paints.push_back(paintOf("p2"));
  const auto repeated = store->prepareUpdate(updateOfA(2), twice, 1);
  const AdmissionResult rebuilt = repeated->rebuildPreflight(updateOfA(2), twice);
  ASSERT_EQ(rebuilt.paints.size(), 1U);
  EXPECT_EQ(rebuilt.paints[0].id, "p2");
  EXPECT_EQ(rebuilt.plan.paintRefs, (std::vector<std::int32_t>{-1, 1}));
  EXPECT_EQ(rebuilt.plan.firstCommandSequence, 10);
  EXPECT_EQ(rebuilt.explicitComparisonCount, 2U);
  EXPECT_TRUE(rebuilt.accepted);

  // New records that are no records of the delta (an overridden admit operation may bring such)
  // are matched like the others: one found nowhere stops the walk, and each found is taken once.
  const struct {
    const char* name;
    std::vector<render::PaintRecord> added;
    std::vector<const char*> rebuilt;
  } kept[] = {
      {"a foreign record first", {paintOf("p9"), paintOf("p2")}, {}},
      {"a foreign record last", {paintOf("p1"), paintOf("p9")}, {"p1"}},
      {"the delta's own, out of order", {paintOf("p2"), paintOf("p1")}, {"p2"}},
      {"one record twice", {paintOf("p2"), paintOf("p2")}, {"p2"}},
  };
  for (const auto& row : kept) {
    SCOPED_TRACE(row.name);
    AdmissionResult made = makePreflightResult("a", 2);
    made.paints = row.added;
    const PreparedAdmission madeUp(std::make_shared<StoreIdentityToken>(), made, updateOfA(2), resourcesOfUpdate(), 1,
                                   0);
    const AdmissionResult fromMadeUp = madeUp.rebuildPreflight(updateOfA(2), resourcesOfUpdate());
    std::vector<const char*> ids;
    for (const render::PaintRecord& paint : fromMadeUp.paints) ids.push_back(paint.id.c_str());
    ASSERT_EQ(ids.size(), row.rebuilt.size());
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_STREQ(ids[i], row.rebuilt[i]);
  }

  // A refused preparation kept no references; its rebuilt plan answers -1 for every command.
  const auto refused = store->prepareUpdate(updateOfA(1), resourcesOfUpdate(), 1);
  const AdmissionResult partial = refused->rebuildPreflight(updateOfA(1), resourcesOfUpdate());
  EXPECT_FALSE(partial.accepted);
  EXPECT_EQ(partial.plan.paintRefs, (std::vector<std::int32_t>{-1, -1}));
}

TEST(StoreProtocol, MissingForeignAndChangedPreparationsNeverCommit) {
  std::unique_ptr<RetainedResourceStore> store = storeWithOwnerA();
  auto other = storeWithOwnerA();
  const auto consumedElsewhere = other->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
  ASSERT_TRUE(other->commitPreparedUpdate(consumedElsewhere, updateOfA(2), resourcesOfUpdate()).ok);
  const auto prepared = store->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
  render::ResourceDelta changed = resourcesOfUpdate();
  changed.paints[1].red = 1;
  const struct {
    const char* name;
    std::shared_ptr<PreparedAdmission> prepared;
    render::ResourceDelta delta;
    Text message;
  } rows[] = {
      {"a missing preparation", nullptr, resourcesOfUpdate(), "retained resource prepared admission is missing"},
      {"another store's consumed preparation", consumedElsewhere, resourcesOfUpdate(),
       "retained resource prepared admission belongs to another store"},
      {"a changed delta record", prepared, changed, "retained resource prepared admission inputs were changed"},
  };
  const Text before = storeSnapshot(*store);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const OperationResult result = store->commitPreparedUpdate(row.prepared, updateOfA(2), row.delta);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, row.message);
    EXPECT_EQ(result.revision, 1U);
    EXPECT_EQ(storeSnapshot(*store), before);
  }
  EXPECT_FALSE(prepared->consumed());
}

TEST(StoreProtocol, ACommitHandsTheEvaluationsCountersToTheStore) {
  std::unique_ptr<RetainedResourceStore> store = storeWithOwnerA();
  auto prepared = store->prepareUpdate(updateOfA(2), resourcesOfUpdate(), 1);
  EXPECT_FALSE(store->commitPreparedBinding(prepared, updateOfA(2), resourcesOfUpdate()).ok);
  const OperationResult committed = store->commitPreparedUpdate(prepared, updateOfA(2), resourcesOfUpdate());
  ASSERT_TRUE(committed.ok) << committed.message;
  EXPECT_EQ(committed.revision, 2U);
  EXPECT_EQ(committed.validationCount, 1U);          // p2 is new
  EXPECT_EQ(committed.explicitComparisonCount, 1U);  // p1 is compared with the stored one
  EXPECT_EQ(store->validationCount(), 2U);
  EXPECT_EQ(store->explicitComparisonCount(), 1U);
  EXPECT_EQ(store->ownerCommandRef1(0, 1), 1);
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

std::unique_ptr<RetainedResourceStore> storeWithThreeOwners() {
  auto store = std::make_unique<RetainedResourceStore>(kSurface);
  for (std::int32_t i = 0; i < 3; ++i) {
    const Text id(1, static_cast<char>('a' + i));
    EXPECT_TRUE(store->admitBinding(fragmentOf(id, 1, {i + 1}), emptyDelta(), static_cast<std::uint32_t>(i)).ok);
  }
  return store;
}

std::vector<render::OwnerFragment> updatesOfThree() {
  return {fragmentOf("a", 2, {1}), fragmentOf("b", 2, {2}), fragmentOf("c", 2, {3})};
}

TEST(CandidateBatch, MissingForeignChangedOrShortenedBatchesNeverCommit) {
  std::unique_ptr<RetainedResourceStore> store = storeWithThreeOwners();
  auto other = storeWithThreeOwners();
  const std::vector<render::ResourceDelta> deltas(3, emptyDelta());
  const auto batch = store->prepareCandidateBatch(updatesOfThree(), deltas, 3);
  ASSERT_EQ(batch->accepted(), 1);
  std::vector<render::OwnerFragment> changed = updatesOfThree();
  changed[2].commands[0].attributeInt7 = 9;
  const std::vector<render::OwnerFragment> shortened(changed.begin(), changed.begin() + 2);
  const struct {
    const char* name;
    std::shared_ptr<PreparedCandidateBatch> batch;
    std::vector<render::OwnerFragment> fragments;
    std::size_t deltas;
    Text message;
  } rows[] = {
      {"a missing batch", nullptr, updatesOfThree(), 3, "retained resource prepared candidate batch is missing"},
      {"another store's batch", other->prepareCandidateBatch(updatesOfThree(), deltas, 3), updatesOfThree(), 3,
       "retained resource prepared candidate batch belongs to another store"},
      {"a changed item", batch, changed, 3,
       "retained resource prepared candidate batch inputs were changed or reordered"},
      {"an item left out", batch, shortened, 2,
       "retained resource prepared candidate batch inputs were changed or reordered"},
      {"a delta left out", batch, updatesOfThree(), 2,
       "retained resource prepared candidate batch inputs were changed or reordered"},
  };
  const Text before = storeSnapshot(*store);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const OperationResult result = store->commitPreparedCandidateBatch(
        row.batch, row.fragments, std::vector<render::ResourceDelta>(row.deltas, emptyDelta()));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, row.message);
    EXPECT_EQ(storeSnapshot(*store), before);
  }
  EXPECT_EQ(batch->consumed(), 0);
}

TEST(CandidateBatch, PreparationRefusesTheWholeBatchInOrder) {
  std::vector<std::int32_t> sequences(4096);
  for (std::size_t j = 0; j < sequences.size(); ++j) {
    sequences[j] = static_cast<std::int32_t>(j);
  }
  const Text items = "retained resource candidate batch requires 1..4096 parallel fragment/delta items";
  const struct {
    const char* name;
    std::vector<render::OwnerFragment> fragments;
    std::size_t deltas;
    Text message;
  } rows[] = {
      {"no items", {}, 0, items},
      {"4097 items", std::vector<render::OwnerFragment>(4097, fragmentOf("a", 2, {1})), 4097, items},
      {"fewer deltas", std::vector<render::OwnerFragment>(3, fragmentOf("a", 2, {1})), 2, items},
      {"65537 commands", std::vector<render::OwnerFragment>(17, fragmentOf("o", 2, sequences)), 17,
       "retained resource candidate batch exceeds 65536 commands or delta entries"},
      {"65536 commands reach the duplicate pass", std::vector<render::OwnerFragment>(16, fragmentOf("o", 2, sequences)),
       16, "retained resource candidate batch duplicates owner o"},
      {"a repeated owner before a failing item",
       {fragmentOf("x", 1, {1}), fragmentOf("x", 2, {2})},
       2,
       "retained resource candidate batch duplicates owner x"},
      {"a sequence repeated within one fragment",
       {fragmentOf("a", 2, {1, 1})},
       1,
       "retained resource candidate batch duplicates command sequence 1"},
      {"an unbound owner",
       {fragmentOf("a", 2, {1}), fragmentOf("z", 1, {9})},
       2,
       "retained resource candidate batch item 1: retained resource owner z requires an initial binding"},
  };
  std::unique_ptr<RetainedResourceStore> store = storeWithThreeOwners();
  const Text before = storeSnapshot(*store);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto batch =
        store->prepareCandidateBatch(row.fragments, std::vector<render::ResourceDelta>(row.deltas, emptyDelta()), 3);
    EXPECT_EQ(batch->accepted(), 0);
    EXPECT_EQ(batch->name(), row.message);
    EXPECT_EQ(batch->revision(), 3U);
    EXPECT_EQ(storeSnapshot(*store), before);
  }
}

TEST(CandidateBatch, LaterItemsSeeEarlierItemsResourcesAndCommitInOrder) {
  std::unique_ptr<RetainedResourceStore> store = storeWithThreeOwners();
  std::vector<render::OwnerFragment> fragments = updatesOfThree();
  std::vector<render::ResourceDelta> deltas(3, emptyDelta());
  deltas[0].paints = {paintOf("shared")};
  deltas[0].images = {readyImage("pic", 1)};
  fragments[1].commands[0].paintId = "shared";
  fragments[2].commands[0] = imageCommand(3, "c", "pic", 1);
  deltas[2].paints = {paintOf("shared"), paintOf("own")};
  const auto batch = store->prepareCandidateBatch(fragments, deltas, 3);
  ASSERT_EQ(batch->accepted(), 1) << batch->name();
  EXPECT_EQ(batch->validationCount(), 3U);          // shared, pic, own
  EXPECT_EQ(batch->explicitComparisonCount(), 1U);  // item 2's shared against the staged one
  EXPECT_GT(batch->overlayProbeCount(), 0U);
  const AdmissionResult missing = batch->rebuildItemPreflight(3, fragments[0], deltas[0]);
  EXPECT_FALSE(missing.accepted);
  EXPECT_EQ(missing.message, "retained resource prepared candidate batch has no item 3");
  EXPECT_FALSE(batch->rebuildItemPreflight(-1, fragments[0], deltas[0]).accepted);

  const OperationResult committed = store->commitPreparedCandidateBatch(batch, fragments, deltas);
  ASSERT_TRUE(committed.ok) << committed.message;
  EXPECT_EQ(committed.revision, 4U);
  EXPECT_EQ(committed.validationCount, 3U);
  EXPECT_EQ(store->validationCount(), 3U);
  EXPECT_EQ(store->admissionCount(), 4U);
  EXPECT_EQ(store->storedPaint(0).id, "shared");
  EXPECT_EQ(store->storedPaint(1).id, "own");
  EXPECT_EQ(store->ownerCommandRef1(store->findOwner("b"), 0), 0);
  EXPECT_EQ(store->ownerCommandRef2(store->findOwner("c"), 0), 0);
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
