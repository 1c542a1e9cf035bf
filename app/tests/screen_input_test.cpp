#include "app/screen_input.hpp"

#include <gtest/gtest.h>

#include "app/directory_screen_state.hpp"
#include "app/screen_layout.hpp"

namespace app {
namespace {

// A point inside a rectangle.
PointerProbe over(const Rect& rect) { return pointerAt(rect.x + 3, rect.y + 3); }

DirectoryScreenState filledForm() {
  DirectoryScreenState state;
  state.record = FormRecord::stored("animal-3", {});
  state.nameText = "Mochi";
  state.detailText = "Cat";
  state.ownerText = "customer-2";
  state.searchText = "Mo";
  state.focus = kFocusDetail;
  state.scroll = 2;
  state.selectedArchived = true;
  return state;
}

TEST(ScreenPress, APressClicksWhereItWasMade) {
  DirectoryScreenState state;
  EXPECT_FALSE(applyPress(state, false, over(kSearchBox)));
  EXPECT_EQ(state.focus, kFocusName);
  EXPECT_TRUE(applyPress(state, true, pointerAt(40, 260)));
  EXPECT_EQ(state.focus, kFocusSearch);
  // A click over nothing still counts as a click.
  state.focus = kFocusName;
  EXPECT_TRUE(applyPress(state, true, pointerAt(5, 5)));
  EXPECT_EQ(state.focus, kFocusName);
}

TEST(ScreenPress, TabsSwitchTheKindAndEmptyTheFormButKeepOwnerSearchAndFocus) {
  DirectoryScreenState state = filledForm();
  state.kind = "animal";
  ASSERT_TRUE(applyPress(state, true, over(kCustomersTab)));
  EXPECT_EQ(state.kind, "customer");
  EXPECT_EQ(state.selectedId(), "");
  EXPECT_EQ(state.nameText, "");
  EXPECT_EQ(state.detailText, "");
  EXPECT_FALSE(state.selectedArchived);
  EXPECT_EQ(state.scroll, 0);
  EXPECT_EQ(state.ownerText, "customer-2");
  EXPECT_EQ(state.searchText, "Mo");
  EXPECT_EQ(state.focus, kFocusDetail);

  state = filledForm();
  state.kind = "customer";
  ASSERT_TRUE(applyPress(state, true, over(kAnimalsTab)));
  EXPECT_EQ(state.kind, "animal");
  EXPECT_EQ(state.nameText, "");
}

TEST(ScreenPress, TabEdgesAreExact) {
  // The tab rectangles end one pixel before x + width and y + height.
  DirectoryScreenState state;
  applyPress(state, true, pointerAt(188 + 149, 164 + 43));
  EXPECT_EQ(state.kind, "customer");
  state = DirectoryScreenState{};
  applyPress(state, true, pointerAt(188 + 150, 164));
  EXPECT_EQ(state.kind, "animal");
  state = DirectoryScreenState{};
  state.kind = "customer";
  applyPress(state, true, pointerAt(35, 164));
  EXPECT_EQ(state.kind, "animal");
  state.kind = "customer";
  applyPress(state, true, pointerAt(34, 164));
  EXPECT_EQ(state.kind, "customer");
}

TEST(ScreenPress, FieldBoxesTakeTheFocus) {
  const Rect boxes[3] = {Rect{392, 258, 556, 46}, Rect{392, 347, 556, 46}, Rect{392, 436, 556, 46}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fieldBox(i), boxes[i]);
    DirectoryScreenState state;
    state.focus = kFocusSearch;
    ASSERT_TRUE(applyPress(state, true, pointerAt(boxes[i].x + boxes[i].width - 1, boxes[i].y + boxes[i].height - 1)));
    EXPECT_EQ(state.focus, i);
  }
  // Between two boxes nothing changes.
  DirectoryScreenState state;
  state.focus = kFocusSearch;
  applyPress(state, true, pointerAt(500, 258 + 46));
  EXPECT_EQ(state.focus, kFocusSearch);
}

TEST(ScreenKeys, TabCyclesTheFocusThroughAllFourTexts) {
  DirectoryScreenState state;
  const int expected[] = {1, 2, 3, 0, 1};
  for (const int focus : expected) {
    applyTabKey(state);
    EXPECT_EQ(state.focus, focus);
  }
}

TEST(ScreenKeys, TypingAndBackspaceGoToTheFocusedTextAndTabMovesTheFocus) {
  DirectoryScreenState state;
  state.ownerText = "customer-";
  const char* texts[] = {"Rex", "Dog", "2", "ex"};
  for (int focus = 0; focus < 4; ++focus) {
    state.focus = focus;
    applyTypedText(state, texts[focus]);
  }
  EXPECT_EQ(state.nameText, "Rex");
  EXPECT_EQ(state.detailText, "Dog");
  EXPECT_EQ(state.ownerText, "customer-2");
  EXPECT_EQ(state.searchText, "ex");
  state.focus = kFocusOwner;
  applyEditKey(state, 0x08);  // BACKSPACE
  applyEditKey(state, 0x28);  // DOWN: no edit
  EXPECT_EQ(state.ownerText, "customer-");
  applyEditKey(state, 0x09);  // TAB
  EXPECT_EQ(state.focus, kFocusSearch);
}

TEST(ScreenKeys, ScrollingNeverGoesBelowZero) {
  DirectoryScreenState state;
  applyScrollKeys(state, false, true);
  EXPECT_EQ(state.scroll, 0);
  applyScrollKeys(state, true, false);
  applyScrollKeys(state, true, false);
  EXPECT_EQ(state.scroll, 2);
  applyScrollKeys(state, true, true);
  EXPECT_EQ(state.scroll, 2);
  applyScrollKeys(state, false, true);
  EXPECT_EQ(state.scroll, 1);
  state.scroll = 0;
  applyScrollKeys(state, true, true);  // down then up in one frame
  EXPECT_EQ(state.scroll, 0);
}

}  // namespace
}  // namespace app
