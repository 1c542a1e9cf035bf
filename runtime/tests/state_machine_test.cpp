// The text state machine: one matching row moves it, several are ambiguous, none is a no-op.
#include "runtime/state_machine.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace runtime {
namespace {

const std::vector<StateTransition> kDoor = {
    {"closed", "open", "opened"},
    {"opened", "close", "closed"},
    {"closed", "lock", "locked"},
    {"locked", "unlock", "closed"},
};

TEST(StateMachineTest, StartsInTheInitialState) {
  const StateMachine machine("closed", kDoor);
  EXPECT_EQ(machine.current, "closed");
  EXPECT_EQ(machine.previous, "closed");
  EXPECT_EQ(machine.lastEvent, "");
  EXPECT_EQ(machine.transitionCount, 0);
  EXPECT_EQ(machine.status, "ok");
  ASSERT_EQ(machine.transitions.size(), 4u);
  EXPECT_EQ(machine.transitions[2].from, "closed");
  EXPECT_EQ(machine.transitions[2].event, "lock");
  EXPECT_EQ(machine.transitions[2].to, "locked");
}

TEST(StateMachineTest, FiresAlongMatchingRows) {
  StateMachine machine("closed", kDoor);
  EXPECT_TRUE(machine.fire("lock"));
  EXPECT_EQ(machine.current, "locked");
  EXPECT_EQ(machine.previous, "closed");
  EXPECT_EQ(machine.lastEvent, "lock");
  EXPECT_EQ(machine.transitionCount, 1);

  EXPECT_FALSE(machine.fire("open"));  // no row leaves "locked" on "open"
  EXPECT_EQ(machine.current, "locked");
  EXPECT_EQ(machine.previous, "closed");
  EXPECT_EQ(machine.lastEvent, "lock");
  EXPECT_EQ(machine.transitionCount, 1);

  EXPECT_TRUE(machine.fire("unlock"));
  EXPECT_TRUE(machine.fire("open"));
  EXPECT_EQ(machine.current, "opened");
  EXPECT_EQ(machine.previous, "closed");
  EXPECT_EQ(machine.lastEvent, "open");
  EXPECT_EQ(machine.transitionCount, 3);
  EXPECT_EQ(machine.status, "ok");
}

TEST(StateMachineTest, ComparesStatesAndEventsByteForByte) {
  StateMachine machine("closed", kDoor);
  EXPECT_FALSE(machine.fire("Open"));
  EXPECT_FALSE(machine.fire("open "));
  EXPECT_FALSE(machine.fire(""));
  EXPECT_EQ(machine.current, "closed");
  EXPECT_EQ(machine.transitionCount, 0);
}

TEST(StateMachineTest, IdenticalRowsAreAmbiguous) {
  StateMachine machine("a", {{"a", "go", "b"}, {"a", "go", "b"}});
  EXPECT_FALSE(machine.fire("go"));
  EXPECT_EQ(machine.status, "Ambiguous state transition");
  EXPECT_EQ(machine.current, "a");
  EXPECT_EQ(machine.previous, "a");
  EXPECT_EQ(machine.lastEvent, "");
  EXPECT_EQ(machine.transitionCount, 0);
}

TEST(StateMachineTest, RowsWithDifferentTargetsAreAmbiguousRowsFromOtherStatesAreNot) {
  StateMachine machine("a", {{"b", "go", "c"}, {"a", "go", "b"}, {"a", "go", "c"}, {"a", "step", "b"}});
  EXPECT_FALSE(machine.fire("go"));
  EXPECT_EQ(machine.status, "Ambiguous state transition");
  EXPECT_TRUE(machine.fire("step"));
  EXPECT_EQ(machine.status, "ok");
  // In "b" only the row leaving "b" matches; the two rows leaving "a" do not compete.
  EXPECT_TRUE(machine.fire("go"));
  EXPECT_EQ(machine.current, "c");
  EXPECT_EQ(machine.previous, "b");
}

TEST(StateMachineTest, AmbiguityStaysInStatusUntilTheNextSuccess) {
  StateMachine machine("a", {{"a", "go", "b"}, {"a", "go", "c"}, {"a", "step", "d"}});
  EXPECT_FALSE(machine.fire("go"));
  EXPECT_FALSE(machine.fire("nothing"));
  EXPECT_EQ(machine.status, "Ambiguous state transition");
  EXPECT_TRUE(machine.fire("step"));
  EXPECT_EQ(machine.status, "ok");
  EXPECT_EQ(machine.current, "d");
  EXPECT_EQ(machine.lastEvent, "step");
  EXPECT_EQ(machine.transitionCount, 1);
}

TEST(StateMachineTest, SelfTransitionCounts) {
  StateMachine machine("idle", {{"idle", "tick", "idle"}});
  EXPECT_TRUE(machine.fire("tick"));
  EXPECT_TRUE(machine.fire("tick"));
  EXPECT_EQ(machine.current, "idle");
  EXPECT_EQ(machine.previous, "idle");
  EXPECT_EQ(machine.lastEvent, "tick");
  EXPECT_EQ(machine.transitionCount, 2);
}

TEST(StateMachineTest, EmptyTableNeverMoves) {
  StateMachine machine("start", {});
  EXPECT_FALSE(machine.fire("start"));
  EXPECT_FALSE(machine.fire(""));
  EXPECT_EQ(machine.current, "start");
  EXPECT_EQ(machine.status, "ok");
  EXPECT_EQ(machine.transitionCount, 0);
}

TEST(StateMachineTest, StateWithoutOutgoingRowsIsFinalInPractice) {
  StateMachine machine("a", {{"a", "end", "done"}, {"a", "other", "a"}});
  EXPECT_TRUE(machine.fire("end"));
  EXPECT_FALSE(machine.fire("end"));
  EXPECT_FALSE(machine.fire("other"));
  EXPECT_EQ(machine.current, "done");
  EXPECT_EQ(machine.transitionCount, 1);
}

TEST(StateMachineTest, TableIsACopyAndFireIsVirtual) {
  std::vector<StateTransition> table = {{"a", "go", "b"}};
  std::unique_ptr<StateMachine> machine = std::make_unique<StateMachine>("a", table);
  table[0].to = "changed";
  table.push_back({"a", "go", "c"});
  EXPECT_TRUE(machine->fire("go"));
  EXPECT_EQ(machine->current, "b");

  struct Counting : StateMachine {
    using StateMachine::StateMachine;
    bool fire(const std::string& event) override {
      ++calls;
      return StateMachine::fire(event);
    }
    int calls = 0;
  };
  Counting counting("a", {{"a", "go", "b"}});
  StateMachine& base = counting;
  EXPECT_TRUE(base.fire("go"));
  EXPECT_EQ(counting.calls, 1);
}

}  // namespace
}  // namespace runtime
