// A commit interrupted by running out of memory must never leave a half-written store that a
// retried commit writes a second time: after the failure the store either is exactly as before
// (and the retry applies once) or refuses everything as "invalid". Allocations fail on demand
// through the replaceable global operator new of this test executable.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "protocol_fixtures.hpp"
#include "retained/operation_result.hpp"
#include "retained/prepared_admission.hpp"
#include "retained/prepared_candidate_batch.hpp"
#include "retained/retained_resource_store.hpp"

namespace {

// Allocations left before the next one fails; negative: never fail.
std::int64_t allocationsBeforeFailure = -1;

void* allocate(std::size_t size) {
  if (allocationsBeforeFailure == 0) {
    throw std::bad_alloc();
  }
  if (allocationsBeforeFailure > 0) {
    --allocationsBeforeFailure;
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace retained {
namespace {

using namespace retained::testing;

// Runs the commit with the n-th allocation failing, for n = 0, 1, 2, ... until it goes through
// untouched, and checks each interrupted store and its retry.
template <typename Setup, typename Commit>
void failEachAllocationInTurn(Setup setup, Commit commit, std::uint32_t ownersAfter, std::uint32_t paintsAfter) {
  for (std::int64_t n = 0;; ++n) {
    SCOPED_TRACE(::testing::Message() << "allocation " << n << " fails");
    auto state = setup();
    const Text before = storeSnapshot(*state.store);
    bool interrupted = false;
    allocationsBeforeFailure = n;
    try {
      const OperationResult result = commit(state);
      allocationsBeforeFailure = -1;
      ASSERT_TRUE(result.ok) << result.message;
    } catch (const std::bad_alloc&) {
      allocationsBeforeFailure = -1;
      interrupted = true;
    }
    if (interrupted) {
      const Text state_ = state.store->state();
      if (state_ == "open") {
        ASSERT_EQ(storeSnapshot(*state.store), before) << "an open store was left half-written";
        const OperationResult retried = commit(state);
        ASSERT_TRUE(retried.ok) << retried.message;
      } else {
        ASSERT_EQ(state_, "invalid");
        const OperationResult retried = commit(state);
        ASSERT_FALSE(retried.ok);
        ASSERT_EQ(retried.message, "retained resource store is not open");
        continue;
      }
    }
    EXPECT_EQ(state.store->ownerCount(), ownersAfter);
    EXPECT_EQ(state.store->paintCount(), paintsAfter);
    EXPECT_EQ(state.store->revision(), state.revisionAfter);
    if (!interrupted) {
      return;
    }
  }
}

struct SingleState {
  std::unique_ptr<RetainedResourceStore> store;
  std::shared_ptr<PreparedAdmission> prepared;
  render::OwnerFragment fragment;
  render::ResourceDelta delta;
  std::uint32_t revisionAfter = 2;
};

TEST(AllocationFailure, AnInterruptedPreparedCommitIsNeverAppliedTwice) {
  auto setup = [] {
    SingleState state;
    state.store = std::make_unique<RetainedResourceStore>(kSurface);
    EXPECT_TRUE(state.store->admitBinding(fragmentOf("a", 1, {1, 2}), emptyDelta(), 0).ok);
    state.fragment = fragmentOf("b", 1, {10, 11, 12});
    state.fragment.commands[0].paintId = "p1";
    state.fragment.commands[2] = imageCommand(12, "b", "img", 1);
    state.delta = emptyDelta();
    state.delta.paints = {paintOf("p1"), paintOf("p2")};
    state.delta.images = {readyImage("img", 1, 4, 4)};
    state.prepared = state.store->prepareBinding(state.fragment, state.delta, 1);
    return state;
  };
  auto commit = [](SingleState& state) {
    return state.store->commitPreparedBinding(state.prepared, state.fragment, state.delta);
  };
  failEachAllocationInTurn(setup, commit, 2, 2);
}

struct BatchState {
  std::unique_ptr<RetainedResourceStore> store;
  std::shared_ptr<PreparedCandidateBatch> batch;
  std::vector<render::OwnerFragment> fragments;
  std::vector<render::ResourceDelta> deltas;
  std::uint32_t revisionAfter = 4;
};

TEST(AllocationFailure, AnInterruptedBatchCommitIsNeverAppliedTwice) {
  auto setup = [] {
    BatchState state;
    state.store = std::make_unique<RetainedResourceStore>(kSurface);
    for (std::int32_t i = 0; i < 3; ++i) {
      const Text id = "o" + std::to_string(i);
      EXPECT_TRUE(
          state.store
              ->admitBinding(fragmentOf(id, 1, {i * 10, i * 10 + 1}), emptyDelta(), static_cast<std::uint32_t>(i))
              .ok);
      state.fragments.push_back(fragmentOf(id, 2, {i * 10, i * 10 + 1}));
      state.fragments.back().commands[0].paintId = "p" + std::to_string(i);
      render::ResourceDelta delta = emptyDelta();
      delta.paints = {paintOf("p" + std::to_string(i))};
      state.deltas.push_back(delta);
    }
    state.batch = state.store->prepareCandidateBatch(state.fragments, state.deltas, 3);
    EXPECT_EQ(state.batch->accepted(), 1);
    return state;
  };
  auto commit = [](BatchState& state) {
    return state.store->commitPreparedCandidateBatch(state.batch, state.fragments, state.deltas);
  };
  failEachAllocationInTurn(setup, commit, 3, 3);
}

}  // namespace
}  // namespace retained
