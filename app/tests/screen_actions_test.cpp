#include "app/screen_actions.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/directory_view.hpp"
#include "app/screen_input.hpp"
#include "app/screen_layout.hpp"
#include "input_events.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/record_keys.hpp"

namespace app {
namespace {

using runtime::testing::TempDirectory;

PointerProbe over(const Rect& rect) { return pointerAt(rect.x + 5, rect.y + 5); }

class ScreenActions : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = std::make_unique<DirectoryView>(dir_.text());
    view_->seedDemoData();
  }
  const store::Record& stored(const std::string& id) {
    const std::int32_t index = store::findRecordIndex(view_->database, id);
    EXPECT_GE(index, 0);
    return view_->database.records.at(static_cast<std::size_t>(index < 0 ? 0 : index));
  }

  TempDirectory dir_;
  std::unique_ptr<DirectoryView> view_;
};

TEST_F(ScreenActions, SaveCreatesThenUpdatesTheSameRecord) {
  DirectoryScreenState state;
  state.nameText = "Pepper";
  state.detailText = "Dog / first visit";
  applyButtons(state, *view_, true, over(kSaveButton));
  EXPECT_EQ(state.selectedId(), "animal-6");
  EXPECT_EQ(view_->status(), "Saved animal-6");
  state.detailText = "Dog / second visit";
  applyButtons(state, *view_, true, over(kSaveButton));
  EXPECT_EQ(state.selectedId(), "animal-6");
  EXPECT_EQ(view_->database.records.size(), 6u);
  EXPECT_EQ(store::recordProperty(stored("animal-6"), "detail"), "Dog / second visit");
}

TEST_F(ScreenActions, ARefusedSaveLeavesTheScreenAsItWas) {
  DirectoryScreenState state;
  state.nameText = "Stray";
  state.ownerText = "";
  applyButtons(state, *view_, true, over(kSaveButton));
  EXPECT_EQ(state.selectedId(), "");
  EXPECT_EQ(state.nameText, "Stray");
  EXPECT_EQ(view_->status(), "Enter an existing customer ID");
  EXPECT_EQ(view_->database.records.size(), 5u);
}

TEST_F(ScreenActions, ButtonsActOnlyOnAClick) {
  DirectoryScreenState state;
  state.nameText = "Pepper";
  applyButtons(state, *view_, false, over(kSaveButton));
  EXPECT_EQ(view_->database.records.size(), 5u);
  EXPECT_EQ(state.selectedId(), "");
}

TEST_F(ScreenActions, NewRecordEmptiesTheFormButKeepsTheOwner) {
  DirectoryScreenState state;
  state.record = FormRecord::stored("animal-3", {});
  state.nameText = "Mochi";
  state.detailText = "Cat";
  state.ownerText = "customer-2";
  state.selectedArchived = true;
  state.focus = kFocusSearch;
  applyButtons(state, *view_, true, over(kNewRecordButton));
  EXPECT_EQ(state.selectedId(), "");
  EXPECT_EQ(state.nameText, "");
  EXPECT_EQ(state.detailText, "");
  EXPECT_EQ(state.ownerText, "customer-2");
  EXPECT_FALSE(state.selectedArchived);
  EXPECT_EQ(state.focus, kFocusName);
}

TEST_F(ScreenActions, ArchiveAndRestoreFlipTheStoredLifecycle) {
  DirectoryScreenState state;
  state.nameText = "Mochi";
  applyButtons(state, *view_, true, over(kArchiveButton));  // no record in the form: nothing
  EXPECT_EQ(view_->status(), "Saved animal-5");

  state.record = FormRecord::stored("animal-3", FormBase{recordFieldsOf(stored("animal-3")), {}});
  state.detailText = "Cat";
  applyButtons(state, *view_, true, over(kArchiveButton));
  EXPECT_TRUE(state.selectedArchived);
  EXPECT_EQ(stored("animal-3").lifecycle, "archival");
  applyButtons(state, *view_, true, over(kArchiveButton));
  EXPECT_FALSE(state.selectedArchived);
  EXPECT_EQ(stored("animal-3").lifecycle, "canonical");

  state.nameText = "";  // refused: the flag stays
  applyButtons(state, *view_, true, over(kArchiveButton));
  EXPECT_FALSE(state.selectedArchived);
  EXPECT_EQ(view_->status(), "A name is required");
}

TEST_F(ScreenActions, ClicksOfOneFrameMeanWhatTheWindowLastDrew) {
  // Two clicks on "Archive" before the window draws again both ask for Archive.
  DirectoryScreenState state;
  applyFrameInput(state, *view_, FrameInput{{pressAt(100, 320)}});  // Mochi's row
  rememberShownScreen(state, *view_);
  applyFrameInput(state, *view_, FrameInput{{pressOn(kArchiveButton), pressOn(kArchiveButton)}});
  EXPECT_EQ(stored("animal-3").lifecycle, "archival");
  rememberShownScreen(state, *view_);  // now drawn as "Restore"
  applyFrameInput(state, *view_, FrameInput{{pressOn(kArchiveButton)}});
  EXPECT_EQ(stored("animal-3").lifecycle, "canonical");

  // Another record, or a new one, in the form since: its own flag counts.
  applyFrameInput(state, *view_, FrameInput{{pressAt(100, 370), pressOn(kArchiveButton)}});
  EXPECT_EQ(stored("animal-4").lifecycle, "archival");
}

TEST_F(ScreenActions, ABurstOfPressesOnAButtonActsOnce) {
  // Mochi in the form, then presses on a button at the given times, each in its own frame after
  // the keys given (or a frame without the focus): presses each within 500 ms of the one before,
  // with no key, text or focus change between them, are one burst.
  struct Row {
    const char* name;
    Rect button;
    std::vector<std::uint32_t> presses;
    bool archived;       // Mochi is stored archived at the end
    std::int32_t saves;  // commits the presses made
    std::vector<canvas::InputEvent> between = {};
    std::uint32_t unfocusedBefore = 0;  // a frame without the focus comes before the press at this time
  };
  const Row rows[] = {
      {"a triple-click on Archive", kArchiveButton, {1000, 1300, 1600}, true, 1},
      {"a triple-click on Save", kSaveButton, {1000, 1300, 1600}, false, 1},
      {"three clicks on Archive a second apart", kArchiveButton, {1000, 2000, 3000}, true, 3},
      {"Save, a letter typed, Save", kSaveButton, {1000, 1220}, false, 2, {typedText("x")}},
      {"Save, Backspace, Save", kSaveButton, {1000, 1220}, false, 2, {keyPress(0x08)}},
      {"Save, focus lost and regained, Save", kSaveButton, {1000, 1210}, false, 2, {}, 1210},
      {"a double-click on Archive that gives the window the focus", kArchiveButton, {1000, 1200}, true, 1, {}, 1000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDirectory dir;
    DirectoryView view(dir.text());
    view.seedDemoData();
    const std::int32_t sequence = view.database.store.sequence;
    DirectoryScreenState state;
    applyFrameInput(state, view, FrameInput{{pressAt(100, 320)}});  // Mochi's row
    rememberShownScreen(state, view);
    for (const std::uint32_t time : row.presses) {
      std::vector<canvas::InputEvent> events =
          time == row.presses.front() ? std::vector<canvas::InputEvent>{} : row.between;
      if (time == row.unfocusedBefore) applyFrameInput(state, view, FrameInput{{}, false});
      events.push_back(pressAt(row.button.x + 5, row.button.y + 5, time));
      applyFrameInput(state, view, FrameInput{events});
      rememberShownScreen(state, view);
    }
    const std::int32_t index = store::findRecordIndex(view.database, "animal-3");
    ASSERT_GE(index, 0);
    EXPECT_EQ(view.database.records[static_cast<std::size_t>(index)].lifecycle,
              row.archived ? "archival" : "canonical");
    EXPECT_EQ(view.database.store.sequence, sequence + row.saves);
  }
}

TEST_F(ScreenActions, TheSearchFocusKeepsTheListAtTheTop) {
  DirectoryScreenState state;
  state.scroll = 1;
  applyFrameInput(state, *view_, FrameInput{});
  EXPECT_EQ(state.scroll, 1);
  state.focus = kFocusOwner;
  applyFrameInput(state, *view_, FrameInput{{keyPress(0x09)}});  // TAB into the search
  EXPECT_EQ(state.scroll, 0);
  applyFrameInput(state, *view_, FrameInput{{keyPress(0x28)}});  // DOWN in the same frame still scrolls
  EXPECT_EQ(state.scroll, 1);
}

}  // namespace
}  // namespace app
