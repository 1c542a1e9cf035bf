#include <gtest/gtest.h>

#include <new>
#include <string>

#include "provider_test_support.hpp"

namespace uihost {
namespace {

using namespace testing_support;

void batchOpen(P& p) {
  makeReady(p);
  p.beginAccessibilityBatch(kOwner, 2, 2);
}
void withNode(P& p) {
  batchOpen(p);
  ASSERT_TRUE(p.updateAccessibilityNode("n1", 2, "button", "OK", kOwner));
}
void committedNode(P& p) {
  withNode(p);
  p.commitAccessibilityBatch(kOwner, 3, 3);
}
bool begin(P& p) { return p.beginAccessibilityBatch(kOwner, 50, 5); }
bool commit(P& p) { return p.commitAccessibilityBatch(kOwner, 50, 5); }
Call update(const char* id, std::int32_t generation, const char* role, const char* name, std::int32_t thread = kOwner) {
  return [=](P& p) { return p.updateAccessibilityNode(id, generation, role, name, thread); };
}
Call act(const char* id, std::int32_t generation, bool reenters = false) {
  return [=](P& p) { return p.performAccessibilityAction(id, generation, "{invoke}", reenters, kOwner, 50, 5); };
}

TEST(Accessibility, BatchUpdateAndActionTable) {
  const std::string invalid = "accessibility-update rejected: invalid-batch-node-role-or-name";
  const std::string stale = "accessibility-action rejected: stale-or-missing-node-identity";
  const std::string action = "category=accessibility; subject=n1; state=action; detail={invoke}";
  runCases({
      {"begin", makeReady, begin, true,
       "category=accessibility; subject=tree; state=batch-begin; detail=updates-hidden-until-commit"},
      {"begin nested", batchOpen, begin, false, "accessibility-batch rejected: nested-batch"},
      {"update outside a batch", makeReady, update("n1", 1, "button", "OK"), false, invalid},
      {"update generation 0", batchOpen, update("n1", 0, "button", "OK"), false, invalid},
      {"update empty name", batchOpen, update("n1", 1, "button", ""), false, invalid},
      {"update new node", batchOpen, update("n2", 1, "button", "OK"), true, ""},
      {"update equal generation", withNode, update("n1", 2, "link", "Go"), true, ""},
      {"update older generation", withNode, update("n1", 1, "link", "Go"), false,
       "accessibility-update rejected: stale-generation"},
      {"update, other thread", withNode, update("n1", 3, "link", "Go", kOther), false,
       "accessibility rejected: wrong-thread expected=7 actual=8"},
      {"commit empty batch", batchOpen, commit, true,
       "category=accessibility; subject=tree; state=batch-commit; detail=nodes=0"},
      {"commit counts the table", withNode, commit, true,
       "category=accessibility; subject=tree; state=batch-commit; detail=nodes=1"},
      {"commit without batch", committedNode, commit, false, "accessibility-batch rejected: no-active-batch"},
      {"action", committedNode, act("n1", 2), true, action},
      {"action inside a batch", withNode, act("n1", 2), true, action},
      {"action newer generation", committedNode, act("n1", 3), false, stale},
      {"action missing node", committedNode, act("n9", 2), false, stale},
      {"action callback re-enters", committedNode, act("n1", 2, true), false,
       "accessibility-action rejected: callback-reentrancy-blocked"},
      {"no capability", makeReady, begin, false, "accessibility rejected: capability-unavailable-before-effect",
       without(&HostProviderDescriptor::supportsAccessibility)},
  });
}

// A host whose event recording starts another action or fails, and whose node lookup can
// answer a row the table does not have.
class DerivedHost : public NativeUiHostProvider {
 public:
  using NativeUiHostProvider::NativeUiHostProvider;
  void recordHostEvent(const Text& category, const Text& subject, const Text& state, const Text& detail,
                       std::int32_t time, std::int32_t correlation, std::int32_t latencyUs) override {
    if (state == "action" && throwOnAction) throw std::bad_alloc();
    if (state == "action") innerResult = act(subject.c_str(), 2)(*this);
    NativeUiHostProvider::recordHostEvent(category, subject, state, detail, time, correlation, latencyUs);
  }
  std::int32_t findAccessibilityNode(const Text& id) const override {
    return lookupOutside ? 40 : NativeUiHostProvider::findAccessibilityNode(id);
  }
  bool throwOnAction = false, lookupOutside = false, innerResult = true;
};

TEST(Accessibility, TheActionMarkBlocksReentryAndIsClearedOnEveryWayOut) {
  DerivedHost host(fullDescriptor(), kOwner);
  committedNode(host);
  EXPECT_FALSE(act("n1", 2, true)(host));
  EXPECT_TRUE(act("n1", 2)(host));
  EXPECT_FALSE(host.innerResult);
  EXPECT_EQ(host.lastDiagnostic(), "host.ui_services accessibility-action rejected: reentrant-or-unavailable");
  host.throwOnAction = true;
  EXPECT_THROW(act("n1", 2)(host), std::bad_alloc);
  EXPECT_FALSE(host.accessibility().actionInProgress);
  host.throwOnAction = false;
  EXPECT_TRUE(act("n1", 2)(host));
  // A lookup answer outside the table counts as absent.
  host.lookupOutside = true;
  EXPECT_FALSE(act("n1", 2)(host));
  host.beginAccessibilityBatch(kOwner, 0, 0);
  EXPECT_TRUE(update("n1", 1, "button", "OK")(host));
  EXPECT_EQ(host.accessibility().nodes.nodeIds(), (std::vector<Text>{"n1", "n1"}));
  EXPECT_EQ(host.counters().allocationCount, 4 + 4 + 6);  // two nodes, six event lines
}

}  // namespace
}  // namespace uihost
