// The frame loop's input path without a window: what the window procedure records between two
// frames (through the same recording functions it calls) and the frame's decisions on it.
#include <gtest/gtest.h>

#include <string>

#include "app/directory_view.hpp"
#include "app/screen_actions.hpp"
#include "app/screen_drawing.hpp"
#include "app/screen_layout.hpp"
#include "canvas/key_input.hpp"
#include "canvas/pointer_input.hpp"
#include "input_events.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/record_keys.hpp"

namespace app {
namespace {

constexpr std::uint32_t kFreshDown = 0x00000001;
constexpr std::uint32_t kKeyUp = 0xC0000001;

class QueuedInput : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = std::make_unique<DirectoryView>(dir_.text());
    view_->seedDemoData();
  }

  // As the window procedure records them: WM_LBUTTONDOWN at a client point (the release that
  // follows records no press), and a key typed as WM_KEYDOWN, WM_CHAR, WM_KEYUP.
  void click(std::int32_t x, std::int32_t y) { canvas::recordLeftPress(window_, x, y, nextPressTime()); }
  void key(std::uint32_t virtualKey, char typed = 0) {
    canvas::recordKeyEvent(window_, virtualKey, kFreshDown, true);
    if (typed != 0) canvas::handleCharUnit(window_, static_cast<std::uint8_t>(typed));
    canvas::recordKeyEvent(window_, virtualKey, kKeyUp, false);
  }
  void type(const std::string& text) {
    for (char c : text) key(static_cast<std::uint32_t>(c >= 'a' && c <= 'z' ? c - 32 : c), c);
  }

  // One frame's input decisions and its drawing, as the frame loop makes them; the pointer
  // hovers at (hoverX, hoverY).
  void frame(std::int32_t hoverX = -1, std::int32_t hoverY = -1) {
    applyFrameInput(state_, *view_, FrameInput{takeFrameEvents(window_)});
    buildScreenDrawing(state_, *view_, pointerAt(hoverX, hoverY));
    rememberShownScreen(state_, *view_);
  }
  const store::Record& lastStored() const { return view_->database.records.back(); }

  runtime::testing::TempDirectory dir_;
  std::unique_ptr<DirectoryView> view_;
  canvas::WindowState window_;
  DirectoryScreenState state_;
};

TEST_F(QueuedInput, APressReleasedBetweenTwoFramesIsAClickWhereItWasMade) {
  click(250, 186);  // Customers tab; the pointer has moved on when the frame runs
  frame(600, 650);
  EXPECT_EQ(state_.kind, "customer");
  frame(250, 186);  // hovering over it again is no click
  EXPECT_EQ(state_.kind, "customer");
  click(100, 420);  // the third customer row, as drawn
  frame();
  EXPECT_EQ(state_.selectedId(), "");  // only two customers: no row there

  // Two presses between two frames are two clicks in order: the row is the Animals tab's.
  click(100, 186);  // Animals tab
  click(100, 420);  // third animal row
  frame();
  EXPECT_EQ(state_.kind, "animal");
  EXPECT_EQ(state_.selectedId(), "animal-5");
  EXPECT_EQ(state_.nameText, "Clover");
}

TEST_F(QueuedInput, TextKeysAndClicksOfOneFrameApplyInTheOrderTheyCame) {
  click(100, 320);  // Mochi's row: a record in the form
  frame();
  ASSERT_EQ(state_.selectedId(), "animal-3");
  click(630, 548);  // New record: the name has the focus
  type("abc");
  key(0x08);  // BACKSPACE
  type("d");
  key(0x09);  // TAB to the detail field
  type("Cat");
  click(460, 548);  // Save, before the frame has seen any of it
  type("Z");        // typed after the Save: in the form, not in the save
  frame();
  EXPECT_EQ(state_.nameText, "abd");
  EXPECT_EQ(state_.detailText, "CatZ");
  ASSERT_EQ(state_.selectedId(), "animal-6") << view_->status();
  EXPECT_EQ(lastStored().id, "animal-6");
  EXPECT_EQ(lastStored().content, "abd");
  EXPECT_EQ(store::recordProperty(lastStored(), "detail"), "Cat");

  // A click on the detail field between two texts sends the second one there.
  click(630, 548);
  type("Zed");
  click(600, 370);
  type("Cow");
  click(460, 548);
  frame();
  EXPECT_EQ(lastStored().content, "Zed");
  EXPECT_EQ(store::recordProperty(lastStored(), "detail"), "Cow");

  // DOWN between two presses on Save within the double-click time: two clicks, and the list scrolls.
  const std::int32_t sequence = view_->database.store.sequence;
  const std::uint32_t time = nextPressTime();
  canvas::recordLeftPress(window_, 460, 548, time);
  key(0x28);
  canvas::recordLeftPress(window_, 460, 548, time + 200);
  frame();
  EXPECT_EQ(view_->database.store.sequence, sequence + 2);
  EXPECT_EQ(state_.scroll, 1);
}

}  // namespace
}  // namespace app
