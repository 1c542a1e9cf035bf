#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider_test_support.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {
namespace {

using namespace testing_support;
using P = NativeUiHostProvider;

TEST(ProviderLifecycle, InitializeChecksThreadStateContractAvailabilityAndPublication) {
  struct Row {
    const char* name;
    HostProviderDescriptor descriptor;
    bool available;
    bool publicationFails;
    std::int32_t thread;
    bool result;
    const char* state;
    const char* diagnostic;
    std::vector<std::string> events;
  };
  HostProviderDescriptor unnamed = fullDescriptor(), version2 = fullDescriptor(), otherSchema = fullDescriptor();
  unnamed.providerName = "";
  version2.contractVersion = 2;
  otherSchema.capabilitySchema = "mivo.native-ui-host-capabilities.v2";
  const std::string cleaned =
      "host-event 1: time=5; correlation=9; category=provider; subject=host-a; "
      "state=partial-initialization-cleaned; detail=capabilities-created-services-not-published";
  const std::vector<Row> rows = {
      {"accepted",
       fullDescriptor(),
       true,
       false,
       kOwner,
       true,
       "ready",
       "ok",
       {"host-event 1: time=5; correlation=9; category=provider; subject=host-a; state=ready; "
        "detail=owner-thread-bound"}},
      {"wrong thread",
       fullDescriptor(),
       true,
       false,
       kOther,
       false,
       "new",
       "host.ui_services initialize rejected: invalid-state-or-thread",
       {}},
      {"empty name",
       unnamed,
       true,
       false,
       kOwner,
       false,
       "unavailable",
       "host.ui_services initialize rejected: incompatible-capability-contract",
       {}},
      {"version 2",
       version2,
       true,
       false,
       kOwner,
       false,
       "unavailable",
       "host.ui_services initialize rejected: incompatible-capability-contract",
       {}},
      {"other schema",
       otherSchema,
       true,
       false,
       kOwner,
       false,
       "unavailable",
       "host.ui_services initialize rejected: incompatible-capability-contract",
       {}},
      {"unavailable host",
       fullDescriptor(),
       false,
       false,
       kOwner,
       false,
       "unavailable",
       "host.ui_services initialize rejected: provider-unavailable",
       {}},
      {"publication fails",
       fullDescriptor(),
       true,
       true,
       kOwner,
       false,
       "failed",
       "host.ui_services initialize rejected: partial-initialization",
       {cleaned}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    P provider(row.descriptor, kOwner);
    EXPECT_EQ(provider.initialize(row.available, row.publicationFails, row.thread, 5, 9), row.result);
    EXPECT_EQ(provider.providerState(), row.state);
    EXPECT_EQ(provider.lastDiagnostic(), row.diagnostic);
    EXPECT_EQ(provider.counters().failureCount, row.result ? 0 : 1);
    EXPECT_EQ(provider.eventLog(), row.events);
    // No second initialisation, except after a refusal that left the provider "new".
    EXPECT_EQ(provider.initialize(true, false, kOwner, 6, 9), row.thread != kOwner);
    EXPECT_EQ(provider.providerState(), row.thread == kOwner ? row.state : "ready");
  }
}

TEST(ProviderLifecycle, WindowSessionLossAndTeardownTable) {
  const State ready = makeReady;
  const State lost = [](P& p) {
    makeReady(p);
    p.reportProviderLoss("gone", kOwner, 2, 2);
  };
  const State failed = [](P& p) { p.initialize(true, true, kOwner, 1, 1); };
  const State unavailable = [](P& p) { p.initialize(false, false, kOwner, 1, 1); };
  const State tornDown = [](P& p) {
    makeReady(p);
    p.teardown(kOwner, 2, 2);
  };
  const std::string head2 = "host-event 2: time=50; correlation=5; ";
  const std::string torn =
      "category=provider; subject=host-a; state=torn-down; detail=queues-quiesced-identities-invalidated";
  runCases({
      {"window event", ready, [](P& p) { return p.recordWindowEvent("w1", "shown", 50, 5, kOwner); }, true,
       head2 + "category=window; subject=w1; state=shown; detail=correlated-window-runtime-event"},
      {"window event, empty id", ready, [](P& p) { return p.recordWindowEvent("", "shown", 50, 5, kOwner); }, false,
       "host.ui_services window-event rejected: invalid-state-thread-or-window"},
      {"window event, lost", lost, [](P& p) { return p.recordWindowEvent("w1", "shown", 50, 5, kOwner); }, false,
       "host.ui_services window-event rejected: invalid-state-thread-or-window"},
      {"suspend", ready, [](P& p) { return p.transitionSession(true, "{lid}", kOwner, 50, 5); }, true,
       head2 + "category=session; subject=application; state=suspended; detail={lid}"},
      {"activate while active", ready, [](P& p) { return p.transitionSession(false, "x", kOwner, 50, 5); }, false,
       "host.ui_services session-transition rejected: duplicate-state=active"},
      {"suspend twice",
       [](P& p) {
         makeReady(p);
         p.transitionSession(true, "x", kOwner, 2, 2);
       },
       [](P& p) { return p.transitionSession(true, "x", kOwner, 50, 5); }, false,
       "host.ui_services session-transition rejected: duplicate-state=suspended"},
      {"loss", ready, [](P& p) { return p.reportProviderLoss("device-removed", kOwner, 50, 5); }, true,
       head2 + "category=provider; subject=host-a; state=lost; detail=device-removed"},
      {"loss twice", lost, [](P& p) { return p.reportProviderLoss("x", kOwner, 50, 5); }, false,
       "host.ui_services provider-loss rejected: invalid-state-or-thread"},
      {"service after loss", lost, [](P& p) { return p.beginAccessibilityBatch(kOwner, 50, 5); }, false,
       "host.ui_services accessibility rejected: provider-state=lost"},
      {"service on new", [](P&) {}, [](P& p) { return p.beginAccessibilityBatch(kOwner, 50, 5); }, false,
       "host.ui_services accessibility rejected: provider-state=new"},
      {"teardown new", [](P&) {}, [](P& p) { return p.teardown(kOwner, 50, 5); }, false,
       "host.ui_services teardown rejected: invalid-state=new"},
      {"teardown ready", ready, [](P& p) { return p.teardown(kOwner, 50, 5); }, true, head2 + torn},
      {"teardown lost", lost, [](P& p) { return p.teardown(kOwner, 50, 5); }, true,
       "host-event 3: time=50; correlation=5; " + torn},
      {"teardown failed", failed, [](P& p) { return p.teardown(kOwner, 50, 5); }, true, head2 + torn},
      {"teardown unavailable", unavailable, [](P& p) { return p.teardown(kOwner, 50, 5); }, true,
       "host-event 1: time=50; correlation=5; " + torn},
      {"teardown torn down", tornDown, [](P& p) { return p.teardown(kOwner, 50, 5); }, true, ""},
      {"teardown torn down, other thread", tornDown, [](P& p) { return p.teardown(kOther, 50, 5); }, false,
       "host.ui_services teardown rejected: wrong-thread"},
  });
}

TEST(ProviderLifecycle, LossKeepsFormatAndTablesAndTeardownClosesWhatIsOpen) {
  P provider(fullDescriptor(), kOwner);
  makeReady(provider);
  provider.setClipboard("app", "image/rgba8", "px", false, true, kOwner, 2, 0);
  provider.beginTextInput("w1", "ka", 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, "text", "none", false, true, kOwner, 3, 0);
  provider.requestVirtualKeyboard(true, true, "shown", kOwner, 4, 0);
  provider.beginAccessibilityBatch(kOwner, 5, 0);
  ASSERT_TRUE(provider.reportProviderLoss("gone", kOwner, 6, 0));
  EXPECT_EQ(provider.clipboard(), (ClipboardEntry{"", "image/rgba8", "", false}));
  EXPECT_FALSE(provider.textInput().compositionActive);
  EXPECT_FALSE(provider.textInput().keyboardVisible);
  EXPECT_TRUE(provider.textInput().keyboardRequested);
  EXPECT_EQ(provider.textInput().textInputWindow, "w1");
  EXPECT_EQ(provider.accessibility().accessibilityBatchOpen, 1);
  ASSERT_TRUE(provider.teardown(kOwner, 7, 0));
  EXPECT_EQ(provider.accessibility().accessibilityBatchOpen, 0);
  EXPECT_EQ(provider.providerState(), "torn-down");
}

TEST(ProviderLifecycle, EventTimesCorrelationsAndLatencies) {
  struct Row {
    std::int32_t time, correlation, latency;
    const char* line;
    std::int32_t maxLatency;
  };
  const std::vector<Row> rows = {
      {0, 0, -5, "host-event 1: time=1; correlation=1; category=c; subject={0}; state=s; detail=d", 0},
      {10, 0, 3, "host-event 2: time=10; correlation=2; category=c; subject={0}; state=s; detail=d", 3},
      {10, 40, 1, "host-event 3: time=11; correlation=40; category=c; subject={0}; state=s; detail=d", 3},
      {3, 6, 2, "host-event 4: time=12; correlation=6; category=c; subject={0}; state=s; detail=d", 3},
      {2147483647, -1, 0, "host-event 5: time=2147483647; correlation=7; category=c; subject={0}; state=s; detail=d",
       3},
      // At the largest time the next time repeats it rather than overflowing.
      {0, 2147483647, 0,
       "host-event 6: time=2147483647; correlation=2147483647; category=c; subject={0}; state=s; detail=d", 3},
      {5, 0, 0, "host-event 7: time=2147483647; correlation=2147483647; category=c; subject={0}; state=s; detail=d", 3},
  };
  // Recording checks nothing: a provider that never initialised records too.
  P provider(fullDescriptor(), kOwner);
  for (const Row& row : rows) {
    provider.recordHostEvent("c", "{0}", "s", "d", row.time, row.correlation, row.latency);
    EXPECT_EQ(provider.eventLog().back(), row.line);
    EXPECT_EQ(provider.counters().maxLatencyUs, row.maxLatency);
  }
  EXPECT_EQ(provider.counters().eventSequence, 8);
  EXPECT_EQ(provider.counters().allocationCount, 7);
  EXPECT_EQ(provider.eventAt(0), provider.eventLog()[0]);
  EXPECT_EQ(provider.eventAt(-1), "");
  EXPECT_EQ(provider.eventAt(7), "");
}

TEST(ProviderLifecycle, CountersStopAtTheLargestValue) {
  P provider(fullDescriptor(), kOwner);
  makeReady(provider);
  ProviderCounters& counters = ProviderTestAccess::counters(provider);
  counters.eventSequence = 2147483646;
  counters.failureCount = 2147483647;
  counters.allocationCount = 2147483640;
  ProviderTestAccess::displayTopology(provider).topologyRevision = 2147483647;
  provider.recordHostEvent("c", "s", "t", "d", 0, 0, 0);
  provider.recordHostEvent("c", "s", "t", "d", 0, 0, 0);
  EXPECT_EQ(provider.eventLog()[1].substr(0, 23), "host-event 2147483646: ");
  EXPECT_EQ(provider.eventLog()[2].substr(0, 23), "host-event 2147483647: ");
  EXPECT_EQ(provider.counters().eventSequence, 2147483647);
  EXPECT_FALSE(provider.reject("op", "reason"));
  EXPECT_EQ(provider.counters().failureCount, 2147483647);
  provider.beginAccessibilityBatch(kOwner, 0, 0);
  provider.updateAccessibilityNode("n", 1, "button", "OK", kOwner);
  EXPECT_EQ(provider.counters().allocationCount, 2147483647);
  provider.publishDisplay(DisplayRecord{"d", 0, 0, 10, 10, 0, 0, 10, 10, 1, true}, kOwner);
  ASSERT_TRUE(provider.changeDisplayTopology(kOwner, 0, 0));
  EXPECT_EQ(provider.displayTopology().topologyRevision, 2147483647);
  EXPECT_EQ(provider.eventLog().back().substr(0, 23), "host-event 2147483647: ");
}

TEST(ProviderLifecycle, DescriptionIsOneLineOfCountsAndState) {
  HostProviderDescriptor descriptor = fullDescriptor();
  descriptor.providerName = "host\r\na";
  P provider(descriptor, kOwner);
  EXPECT_EQ(provider.describe(),
            "native-ui-host-provider: schema=mivo.native-ui-host-provider.v1; version=1; provider=host\\r\\na; "
            "state=new; owner-thread=7; sequence=0; timestamp=0; correlation=0; events=0; nodes=0; displays=0; "
            "topology=0; session=active; composition=false; keyboard-requested=false; keyboard-visible=false; "
            "clipboard-format=; failures=0; allocations=0; max-latency-us=0; diagnostic=ok");
  makeReady(provider);
  provider.beginTextInput("w\n1", "ka", 0, 0, 0, 0, -5, 1, 1, 1, 0, 0, "text", "none", false, true, kOwner, 9, 4);
  provider.setClipboard("app", "image/rgba8", "px", false, false, kOwner, 10, 0);
  EXPECT_EQ(provider.eventLog()[0],
            "host-event 1: time=1; correlation=1; category=provider; subject=host\\r\\na; state=ready; "
            "detail=owner-thread-bound");
  EXPECT_EQ(provider.eventLog()[1].substr(0, 80),
            "host-event 2: time=9; correlation=4; category=text-input; subject=w\\n1; state=pr");
  const std::string described = provider.describe();
  EXPECT_EQ(described,
            "native-ui-host-provider: schema=mivo.native-ui-host-provider.v1; version=1; provider=host\\r\\na; "
            "state=ready; owner-thread=7; sequence=2; timestamp=9; correlation=4; events=2; nodes=0; displays=0; "
            "topology=0; session=active; composition=true; keyboard-requested=true; keyboard-visible=false; "
            "clipboard-format=; failures=1; allocations=2; max-latency-us=3; "
            "diagnostic=host.ui_services clipboard-set rejected: permission-format-owner-or-delayed-capability");
}

TEST(ProviderLifecycle, CapabilityNamesAreExact) {
  HostProviderDescriptor descriptor = fullDescriptor();
  descriptor.supportsVirtualKeyboard = false;
  const P provider(descriptor, kOwner);
  for (const char* name :
       {"accessibility", "text-input", "clipboard", "display-topology", "session-lifecycle", "delayed-clipboard"}) {
    EXPECT_TRUE(provider.hasCapability(name)) << name;
  }
  for (const char* name : {"virtual-keyboard", "Clipboard", "clipboard ", ""}) {
    EXPECT_FALSE(provider.hasCapability(name)) << name;
  }
}

}  // namespace
}  // namespace uihost
