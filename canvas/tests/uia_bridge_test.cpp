// Which accessibility requests reach a provider and what a window's destruction forgets.
#include "canvas/uia_bridge.hpp"

#include <gtest/gtest.h>

namespace canvas {
namespace {

WindowHandle handle(std::uintptr_t n) { return reinterpret_cast<WindowHandle>(n); }

TEST(UiaBridgeTest, OnlyRootRequestsForRegisteredSlotsOfTheSameWindowHaveAProvider) {
  UiaBridgeState state;
  EXPECT_FALSE(uiaRequestHasProvider(state, 1, handle(0x10), kUiaRootObjectId));  // nothing registered
  state.windowSlots[0].registered = 1;
  state.windowSlots[0].window = handle(0x10);
  EXPECT_TRUE(uiaRequestHasProvider(state, 1, handle(0x10), kUiaRootObjectId));
  EXPECT_FALSE(uiaRequestHasProvider(state, 1, handle(0x10), -4));  // OBJID_CLIENT
  EXPECT_FALSE(uiaRequestHasProvider(state, 1, handle(0x20), kUiaRootObjectId));
  EXPECT_FALSE(uiaRequestHasProvider(state, 0, handle(0x10), kUiaRootObjectId));
  EXPECT_FALSE(uiaRequestHasProvider(state, 17, handle(0x10), kUiaRootObjectId));
}

TEST(UiaBridgeTest, DestructionClearsTheSlotAndTheWindowsNodes) {
  UiaBridgeState state;
  UiaElementRecord& slot = state.windowSlots[2];
  slot.registered = slot.secondFlag = 1;
  slot.firstValue = slot.secondValue = 9;
  slot.texts = {u"a", u"b", u"c", u"d"};
  state.nodes[0].ownerWindowId = 3;
  state.nodes[0].registered = 1;
  state.nodes[1].ownerWindowId = 4;
  state.nodes[1].registered = 1;
  forgetUiaWindow(state, 3);
  EXPECT_EQ(slot.registered, 0);
  EXPECT_EQ(slot.secondFlag, 0);
  EXPECT_EQ(slot.firstValue, 0u);
  EXPECT_TRUE(slot.texts[0].empty());
  EXPECT_TRUE(slot.texts[1].empty());
  EXPECT_EQ(slot.texts[2], u"c");
  EXPECT_EQ(state.nodes[0].registered, 0);
  EXPECT_EQ(state.nodes[1].registered, 1);
  forgetUiaWindow(state, 0);  // no slot: nothing happens
  forgetUiaWindow(state, 17);
}

}  // namespace
}  // namespace canvas
