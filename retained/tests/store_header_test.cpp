// The store's header alone gives a caller everything its public operations return or take by
// value: this source includes nothing else of the project, calls the operations and reads what
// they answer.
#include <gtest/gtest.h>

#include "retained/retained_resource_store.hpp"

namespace {

render::OwnerFragment oneCommandOwner() {
  render::OwnerFragment fragment;
  fragment.id = "o";
  fragment.generation = 1;
  fragment.layoutBounds = {0, 0, 10, 10};
  fragment.inkBounds = {0, 0, 10, 10};
  fragment.dependencySignature = {"k1", "k2", "k3", "k4", "k5", "deps"};
  fragment.source = "header";
  render::CommandRecord command;
  command.sequence = 1;
  command.owner = "o";
  command.kind = "rect";
  fragment.commands.push_back(command);
  return fragment;
}

TEST(StoreHeader, OperationResultsCanBeReadWithTheStoreHeaderAlone) {
  retained::RetainedResourceStore store("surface");
  render::ResourceDelta delta;
  delta.surfaceId = "surface";

  const retained::OperationResult bound = store.admitBinding(oneCommandOwner(), delta, 0);
  EXPECT_TRUE(bound.ok) << bound.message;
  EXPECT_EQ(bound.revision, 1U);
  EXPECT_EQ(bound.message, "ok");

  const retained::OperationResult again = store.admitBinding(oneCommandOwner(), delta, 1);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.message, "retained resource owner o is already bound");

  const std::shared_ptr<retained::PreparedAdmission> prepared = store.prepareUpdate(oneCommandOwner(), delta, 1);
  EXPECT_FALSE(prepared->accepted());
  EXPECT_EQ(prepared->name(), "retained resource owner o requires a newer fragment generation");

  const std::shared_ptr<retained::PreparedCandidateBatch> batch = store.prepareCandidateBatch({}, {}, 1);
  EXPECT_EQ(batch->accepted(), 0);
}

}  // namespace
