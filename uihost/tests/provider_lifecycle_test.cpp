#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider_test_support.hpp"

namespace uihost {
namespace {

using namespace testing_support;

TEST(ProviderLifecycle, InitializeChecksThreadContractAvailabilityAndPublication) {
  struct Row {
    HostProviderDescriptor descriptor;
    bool available, publicationFails;
    std::int32_t thread;
    const char* state;
    const char* diagnostic;
    const char* event;  // "" for none
  };
  HostProviderDescriptor unnamed = fullDescriptor(), version2 = fullDescriptor(), schema2 = fullDescriptor();
  unnamed.providerName = "";
  version2.contractVersion = 2;
  schema2.capabilitySchema = "mivo.native-ui-host-capabilities.v2";
  const char* incompatible = "host.ui_services initialize rejected: incompatible-capability-contract";
  const std::vector<Row> rows = {
      {fullDescriptor(), true, false, kOwner, "ready", "ok",
       "host-event 1: time=5; correlation=9; category=provider; subject=host-a; state=ready; "
       "detail=owner-thread-bound"},
      {fullDescriptor(), true, false, kOther, "new", "host.ui_services initialize rejected: invalid-state-or-thread",
       ""},
      {unnamed, true, false, kOwner, "unavailable", incompatible, ""},
      {version2, true, false, kOwner, "unavailable", incompatible, ""},
      {schema2, true, false, kOwner, "unavailable", incompatible, ""},
      {fullDescriptor(), false, false, kOwner, "unavailable",
       "host.ui_services initialize rejected: provider-unavailable", ""},
      {fullDescriptor(), true, true, kOwner, "failed", "host.ui_services initialize rejected: partial-initialization",
       "host-event 1: time=5; correlation=9; category=provider; subject=host-a; state=partial-initialization-cleaned; "
       "detail=capabilities-created-services-not-published"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.diagnostic);
    P p(row.descriptor, kOwner);
    const bool accepted = row.diagnostic == std::string("ok");
    EXPECT_EQ(p.initialize(row.available, row.publicationFails, row.thread, 5, 9), accepted);
    EXPECT_EQ(p.providerState(), row.state);
    EXPECT_EQ(p.lastDiagnostic(), row.diagnostic);
    EXPECT_EQ(p.counters().failureCount, accepted ? 0 : 1);
    EXPECT_EQ(p.eventAt(0), row.event);
    EXPECT_EQ(p.eventAt(1), "");
    // No second initialisation, except after a refusal that left the provider "new".
    EXPECT_EQ(p.initialize(true, false, kOwner, 6, 9), row.thread == kOther);
  }
}

void lost(P& p) {
  makeReady(p);
  p.reportProviderLoss("gone", kOwner, 2, 2);
}
void tornDown(P& p) {
  makeReady(p);
  p.teardown(kOwner, 2, 2);
}
bool teardown(P& p) { return p.teardown(kOwner, 50, 5); }
bool windowEvent(P& p) { return p.recordWindowEvent("w1", "shown", 50, 5, kOwner); }
Call session(bool suspended, std::int32_t thread = kOwner) {
  return [=](P& p) { return p.transitionSession(suspended, "{lid}", thread, 50, 5); };
}

TEST(ProviderLifecycle, WindowSessionLossAndTeardownTable) {
  const std::string tornLine =
      "category=provider; subject=host-a; state=torn-down; detail=queues-quiesced-identities-invalidated";
  const State suspended = [](P& p) {
    makeReady(p);
    p.transitionSession(true, "x", kOwner, 2, 2);
  };
  runCases({
      {"window event", makeReady, windowEvent, true,
       "category=window; subject=w1; state=shown; detail=correlated-window-runtime-event"},
      {"window event, empty id", makeReady, [](P& p) { return p.recordWindowEvent("", "s", 50, 5, kOwner); }, false,
       "window-event rejected: invalid-state-thread-or-window"},
      {"window event, other thread", makeReady, [](P& p) { return p.recordWindowEvent("w", "s", 50, 5, kOther); },
       false, "window-event rejected: invalid-state-thread-or-window"},
      {"suspend", makeReady, session(true), true,
       "category=session; subject=application; state=suspended; detail={lid}"},
      {"activate while active", makeReady, session(false), false,
       "session-transition rejected: duplicate-state=active"},
      {"suspend twice", suspended, session(true), false, "session-transition rejected: duplicate-state=suspended"},
      {"session, other thread", makeReady, session(true, kOther), false,
       "session-lifecycle rejected: wrong-thread expected=7 actual=8"},
      {"session without capability", makeReady, session(true), false,
       "session-lifecycle rejected: capability-unavailable-before-effect",
       without(&HostProviderDescriptor::supportsSessionLifecycle)},
      {"loss", makeReady, [](P& p) { return p.reportProviderLoss("removed", kOwner, 50, 5); }, true,
       "category=provider; subject=host-a; state=lost; detail=removed"},
      {"loss twice", lost, [](P& p) { return p.reportProviderLoss("x", kOwner, 50, 5); }, false,
       "provider-loss rejected: invalid-state-or-thread"},
      {"service on new", [](P&) {}, session(true), false, "session-lifecycle rejected: provider-state=new"},
      {"teardown new", [](P&) {}, teardown, false, "teardown rejected: invalid-state=new"},
      {"teardown ready", makeReady, teardown, true, tornLine},
      {"teardown lost", lost, teardown, true, tornLine},
      {"teardown failed", [](P& p) { p.initialize(true, true, kOwner, 1, 1); }, teardown, true, tornLine},
      {"teardown unavailable", [](P& p) { p.initialize(false, false, kOwner, 1, 1); }, teardown, true, tornLine},
      {"teardown torn down", tornDown, teardown, true, ""},
      {"teardown, other thread", tornDown, [](P& p) { return p.teardown(kOther, 50, 5); }, false,
       "teardown rejected: wrong-thread"},
  });
}

TEST(ProviderLifecycle, EventTimesCorrelationsAndLatencies) {
  struct Row {
    std::int32_t time, correlation, latency;
    const char* head;
    std::int32_t maxLatency;
  };
  const std::vector<Row> rows = {
      {0, 0, -5, "host-event 1: time=1; correlation=1; ", 0},
      {10, 0, 3, "host-event 2: time=10; correlation=2; ", 3},
      {10, 40, 1, "host-event 3: time=11; correlation=40; ", 3},
      {3, 6, 2, "host-event 4: time=12; correlation=6; ", 3},
      {2147483647, -1, 0, "host-event 5: time=2147483647; correlation=7; ", 3},
      // At the largest values a time or correlation repeats rather than overflowing.
      {0, 2147483647, 0, "host-event 6: time=2147483647; correlation=2147483647; ", 3},
      {5, 0, 0, "host-event 7: time=2147483647; correlation=2147483647; ", 3},
  };
  P p(fullDescriptor(), kOwner);  // recording checks nothing, not even the state
  for (const Row& row : rows) {
    p.recordHostEvent("c", "{0}", "s", "d", row.time, row.correlation, row.latency);
    EXPECT_EQ(p.eventLog().back(), row.head + std::string("category=c; subject={0}; state=s; detail=d"));
    EXPECT_EQ(p.counters().maxLatencyUs, row.maxLatency);
  }
  EXPECT_EQ(p.counters().eventSequence, 8);
  EXPECT_EQ(p.eventAt(-1), "");
  EXPECT_EQ(p.eventAt(7), "");
}

TEST(ProviderLifecycle, CountersStopAtTheLargestValue) {
  P p(fullDescriptor(), kOwner);
  makeReady(p);
  ProviderCounters& counters = ProviderTestAccess::counters(p);
  counters.eventSequence = 2147483646;
  counters.failureCount = 2147483647;
  counters.allocationCount = 2147483640;
  ProviderTestAccess::displayTopology(p).topologyRevision = 2147483647;
  p.recordHostEvent("c", "s", "t", "d", 0, 0, 0);
  p.recordHostEvent("c", "s", "t", "d", 0, 0, 0);
  EXPECT_EQ(p.eventAt(1).substr(0, 23), "host-event 2147483646: ");
  EXPECT_EQ(p.eventAt(2).substr(0, 23), "host-event 2147483647: ");
  EXPECT_EQ(p.counters().eventSequence, 2147483647);
  EXPECT_FALSE(p.reject("op", "reason"));
  EXPECT_EQ(p.counters().failureCount, 2147483647);
  p.beginAccessibilityBatch(kOwner, 0, 0);
  p.updateAccessibilityNode("n", 1, "button", "OK", kOwner);
  EXPECT_EQ(p.counters().allocationCount, 2147483647);
  p.publishDisplay(DisplayRecord{"d", 0, 0, 10, 10, 0, 0, 10, 10, 1, true}, kOwner);
  ASSERT_TRUE(p.changeDisplayTopology(kOwner, 0, 0));
  EXPECT_EQ(p.displayTopology().topologyRevision, 2147483647);
}

TEST(ProviderLifecycle, LinesStayLinesAndTheNewProviderDescribesItself) {
  HostProviderDescriptor descriptor = fullDescriptor();
  descriptor.providerName = "host\r\na";
  P p(descriptor, kOwner);
  EXPECT_EQ(p.describe(),
            "native-ui-host-provider: schema=mivo.native-ui-host-provider.v1; version=1; provider=host\\r\\na; "
            "state=new; owner-thread=7; sequence=0; timestamp=0; correlation=0; events=0; nodes=0; displays=0; "
            "topology=0; session=active; composition=false; keyboard-requested=false; keyboard-visible=false; "
            "clipboard-format=; failures=0; allocations=0; max-latency-us=0; diagnostic=ok");
  makeReady(p);
  p.reject("a\nb", "c\rd");
  EXPECT_EQ(p.lastDiagnostic(), "host.ui_services a\\nb rejected: c\\rd");
  EXPECT_EQ(p.eventAt(0),
            "host-event 1: time=1; correlation=1; category=provider; subject=host\\r\\na; "
            "state=ready; detail=owner-thread-bound");
}

}  // namespace
}  // namespace uihost
