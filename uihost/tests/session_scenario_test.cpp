#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider_test_support.hpp"

namespace uihost {
namespace {

using namespace testing_support;

TEST(SessionScenario, AWholeSessionWritesExactlyTheseLines) {
  P p(fullDescriptor(), kOwner);
  EXPECT_FALSE(p.setClipboard("app", "image/rgba8", "x", false, true, kOwner, 1, 1));
  ASSERT_TRUE(p.initialize(true, false, kOwner, 100, 1));
  EXPECT_TRUE(p.recordWindowEvent("main", "focused", 101, 2, kOwner));
  EXPECT_TRUE(p.beginAccessibilityBatch(kOwner, 102, 3));
  EXPECT_TRUE(p.updateAccessibilityNode("save", 1, "button", "Save", kOwner));
  EXPECT_TRUE(p.updateAccessibilityNode("name", 1, "edit", "Name", kOwner));
  EXPECT_TRUE(p.updateAccessibilityNode("save", 1, "button", "Save record", kOwner));  // added once
  EXPECT_TRUE(p.commitAccessibilityBatch(kOwner, 103, 0));
  EXPECT_TRUE(p.performAccessibilityAction("save", 1, "invoke", false, kOwner, 104, 0));
  EXPECT_TRUE(
      p.beginTextInput("main", "ni", 2, 2, 0, 2, 40, 12, 1, 18, 40, 30, "name", "none", false, true, kOwner, 105, 10));
  EXPECT_TRUE(p.commitTextInput("main", "Nina", 0, 2, kOwner, 106, 0));
  EXPECT_TRUE(p.beginTextInput("main", "na", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "text", "none", true, true, kOwner, 106, 0));
  EXPECT_TRUE(p.transferTextFocus("main", "search", kOwner, 107, 0));  // two lines, times one apart
  EXPECT_TRUE(p.setClipboard("directory", "application/mivo-value-v1", "", true, true, kOwner, 200, 0));
  EXPECT_EQ(p.readClipboard("application/mivo-value-v1", true, kOwner, 201, 0), "");
  EXPECT_TRUE(p.materializeClipboard("directory", "record/patient/7", true, kOwner, 202, 0));
  EXPECT_EQ(p.readClipboard("application/mivo-value-v1", true, kOwner, 203, 0), "record/patient/7");
  EXPECT_TRUE(p.publishDisplay(DisplayRecord{"left", -1920, 0, 1920, 1080, -1920, 0, 1920, 1040, 100, false}, kOwner));
  EXPECT_TRUE(p.publishDisplay(DisplayRecord{"main", 0, 0, 2560, 1440, 0, 0, 2560, 1400, 150, true}, kOwner));
  EXPECT_TRUE(p.publishDisplay(DisplayRecord{"left", -1920, 0, 1920, 1080, -1920, 40, 1920, 1040, 100, false}, kOwner));
  EXPECT_EQ(p.findDisplay("main"), 1);
  EXPECT_EQ(p.displayTopology().displays.row(0).workY, 40);
  EXPECT_TRUE(p.changeDisplayTopology(kOwner, 204, 0));
  EXPECT_TRUE(p.transitionSession(true, "lock-screen", kOwner, 205, 0));
  EXPECT_TRUE(p.reportProviderLoss("compositor-restart", kOwner, 206, 0));
  EXPECT_FALSE(p.readClipboard("application/mivo-value-v1", true, kOwner, 207, 0) == "record/patient/7");
  EXPECT_EQ(p.clipboard(), (ClipboardEntry{"", "application/mivo-value-v1", "", false}));
  EXPECT_TRUE(p.teardown(kOwner, 208, 0));
  EXPECT_TRUE(p.teardown(kOwner, 209, 0));

  // Each event line is one literal split in two to fit the line length.
  const std::vector<std::string> expected = {
      // NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
      "host-event 1: time=100; correlation=1; category=provider; subject=host-a; state=ready; "
      "detail=owner-thread-bound",
      "host-event 2: time=101; correlation=2; category=window; subject=main; state=focused; "
      "detail=correlated-window-runtime-event",
      "host-event 3: time=102; correlation=3; category=accessibility; subject=tree; state=batch-begin; "
      "detail=updates-hidden-until-commit",
      "host-event 4: time=103; correlation=4; category=accessibility; subject=tree; state=batch-commit; detail=nodes=2",
      "host-event 5: time=104; correlation=5; category=accessibility; subject=save; state=action; detail=invoke",
      "host-event 6: time=105; correlation=10; category=text-input; subject=main; state=preedit; "
      "detail=selection=2,2; replacement=0,2; caret=40,12,1,18; candidate=40,30; purpose=name; hints=none; "
      "dead-key=false; virtual-keyboard=true",
      "host-event 7: time=106; correlation=11; category=text-input; subject=main; state=commit; "
      "detail=text=Nina; replacement=0,2",
      "host-event 8: time=107; correlation=12; category=text-input; subject=main; state=preedit; "
      "detail=selection=0,0; replacement=0,0; caret=0,0,0,0; candidate=0,0; purpose=text; hints=none; "
      "dead-key=true; virtual-keyboard=true",
      "host-event 9: time=108; correlation=13; category=text-input; subject=main; state=focus-cancel; "
      "detail=composition-cancelled-before-transfer",
      "host-event 10: time=109; correlation=14; category=text-input; subject=search; state=focus; detail=from=main",
      "host-event 11: time=200; correlation=15; category=clipboard; subject=directory; state=ownership; "
      "detail=format=application/mivo-value-v1; delayed=true",
      "host-event 12: time=202; correlation=16; category=clipboard; subject=directory; state=materialized; "
      "detail=application/mivo-value-v1",
      "host-event 13: time=203; correlation=17; category=clipboard; subject=directory; state=read; "
      "detail=application/mivo-value-v1",
      "host-event 14: time=204; correlation=18; category=display; subject=topology; state=changed; "
      "detail=revision=1; displays=2",
      "host-event 15: time=205; correlation=19; category=session; subject=application; state=suspended; "
      "detail=lock-screen",
      "host-event 16: time=206; correlation=20; category=provider; subject=host-a; state=lost; "
      "detail=compositor-restart",
      "host-event 17: time=208; correlation=21; category=provider; subject=host-a; state=torn-down; "
      "detail=queues-quiesced-identities-invalidated",
  };
  ASSERT_EQ(p.eventLog().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(p.eventAt(static_cast<std::int32_t>(i)), expected[i]);
  // Three refusals: clipboard before initialisation, the delayed read, the read after the loss.
  EXPECT_EQ(p.describe(),
            "native-ui-host-provider: schema=mivo.native-ui-host-provider.v1; version=1; provider=host-a; "
            "state=torn-down; owner-thread=7; sequence=17; timestamp=208; correlation=21; events=17; nodes=2; "
            "displays=2; topology=1; session=suspended; composition=false; keyboard-requested=true; "
            "keyboard-visible=false; clipboard-format=application/mivo-value-v1; failures=3; allocations=47; "
            "max-latency-us=3; diagnostic=host.ui_services clipboard rejected: provider-state=lost");
}

}  // namespace
}  // namespace uihost
