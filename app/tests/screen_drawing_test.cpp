#include "app/screen_drawing.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/directory_view.hpp"
#include "app/screen_actions.hpp"
#include "app/screen_input.hpp"
#include "app/screen_layout.hpp"
#include "input_events.hpp"
#include "runtime/files.hpp"
#include "runtime/testing/temp_directory.hpp"

namespace app {
namespace {

using Kind = DrawOp::Kind;
using runtime::testing::TempDirectory;

class ScreenDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = std::make_unique<DirectoryView>(dir_.text());
    view_->seedDemoData();
  }

  // The labels of the list rows, in order.
  std::vector<std::string> rowLabels(const DrawList& list) {
    std::vector<std::string> labels;
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
      const DrawOp& op = list[i];
      if (op.kind == Kind::kRoundedRect && op.rect.x == 36 && op.rect.width == 302 && op.rect.height == 44) {
        labels.push_back(list[i + 1].text);
      }
    }
    return labels;
  }

  const DrawOp* findText(const DrawList& list, const std::string& text) {
    for (const DrawOp& op : list) {
      if ((op.kind == Kind::kTitleText || op.kind == Kind::kMutedLabel) && op.text == text) return &op;
    }
    return nullptr;
  }

  TempDirectory dir_;
  std::unique_ptr<DirectoryView> view_;
};

TEST_F(ScreenDrawing, DrawsTheWholeScreenInOrderAtItsPlaces) {
  DirectoryScreenState state;
  const DrawList list = buildScreenDrawing(state, *view_, pointerNowhere());
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list[0].kind, Kind::kBeginFrame);
  EXPECT_EQ(list[0].text, "Oreb Inc.");
  EXPECT_EQ(list[0].secondText, "Veterinary care / a fictional clinic, with a real persistent directory.");

  // Tabs: the animals tab is primary while animals are listed.
  EXPECT_EQ(list[1].kind, Kind::kRoundedRect);
  EXPECT_EQ(list[1].rect, (Rect{35, 164, 140, 44}));
  EXPECT_EQ(list[1].radius, 10);
  EXPECT_EQ(list[1].colour, (Rgb{48, 116, 96}));
  EXPECT_EQ(list[2].text, "Animals");
  EXPECT_EQ(list[2].rect.x, 50);
  EXPECT_EQ(list[2].rect.y, 175);
  EXPECT_EQ(list[2].size, 100);
  EXPECT_EQ(list[3].rect, (Rect{188, 164, 150, 44}));
  EXPECT_EQ(list[3].colour, (Rgb{37, 53, 58}));
  EXPECT_EQ(list[4].text, "Customers");

  EXPECT_EQ(list[5].kind, Kind::kMutedLabel);
  EXPECT_EQ(list[5].text, "SEARCH / CASE SENSITIVE");
  EXPECT_EQ(list[5].rect, (Rect{36, 225, 0, 0}));
  EXPECT_EQ(list[6].rect, (Rect{36, 252, 302, 42}));
  EXPECT_EQ(list[6].radius, 9);
  EXPECT_EQ(list[6].colour, (Rgb{30, 48, 53}));
  EXPECT_EQ(list[7].kind, Kind::kTitleText);
  EXPECT_EQ(list[7].rect, (Rect{48, 263, 0, 0}));

  // Three animal rows at 316, 365, 414.
  EXPECT_EQ(rowLabels(list), (std::vector<std::string>{"Mochi", "Juniper", "Clover"}));
  EXPECT_EQ(list[8].rect, (Rect{36, 316, 302, 44}));
  EXPECT_EQ(list[10].rect, (Rect{36, 365, 302, 44}));
  EXPECT_EQ(list[9].rect.x, 51);
  EXPECT_EQ(list[9].rect.y, 327);

  const DrawOp* heading = findText(list, "Directory / animal");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->rect, (Rect{392, 175, 0, 0}));
  EXPECT_EQ(heading->size, 160);
  const DrawOp* form = findText(list, "New record");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->kind, Kind::kMutedLabel);
  EXPECT_EQ(form->rect, (Rect{392, 218, 0, 0}));
  for (const auto& [label, y] : {std::pair{"NAME", 232}, {"SPECIES / VISIT NOTE", 321}, {"OWNER CUSTOMER ID", 410}}) {
    const DrawOp* op = findText(list, label);
    ASSERT_NE(op, nullptr) << label;
    EXPECT_EQ(op->rect, (Rect{392, y, 0, 0}));
  }
  const DrawOp* owner = findText(list, "customer-1");
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(owner->rect, (Rect{406, 448, 0, 0}));

  // Only the name field has the focus line.
  int focusLines = 0;
  for (const DrawOp& op : list) {
    if (op.kind == Kind::kRect) {
      ++focusLines;
      EXPECT_EQ(op.rect, (Rect{392, 307, 556, 2}));
      EXPECT_EQ(op.colour, (Rgb{119, 210, 171}));
    }
  }
  EXPECT_EQ(focusLines, 1);

  const DrawOp* save = findText(list, "Save");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ((save - 1)->rect, (Rect{392, 526, 140, 44}));
  EXPECT_EQ((save - 1)->colour, (Rgb{48, 116, 96}));
  const DrawOp* newRecord = findText(list, "New record");
  ASSERT_NE(newRecord, nullptr);
  EXPECT_EQ((findText(list, "Archive") - 1)->rect, (Rect{731, 526, 216, 44}));
  const DrawOp* status = findText(list, "Saved animal-5");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->rect, (Rect{392, 598, 0, 0}));
  EXPECT_EQ(list.back().text, "Fake data only / local single-user demo / Up and Down scroll the directory");
  EXPECT_EQ(list.back().rect, (Rect{36, 652, 0, 0}));
}

TEST_F(ScreenDrawing, CustomerLabelsAndTheSearchFocusLine) {
  DirectoryScreenState state;
  state.kind = "customer";
  state.focus = kFocusSearch;
  const DrawList list = buildScreenDrawing(state, *view_, pointerNowhere());
  EXPECT_EQ(list[1].colour, (Rgb{37, 53, 58}));
  EXPECT_EQ(list[3].colour, (Rgb{48, 116, 96}));
  EXPECT_NE(findText(list, "CONTACT / DEMO ADDRESS"), nullptr);
  EXPECT_NE(findText(list, "UNUSED FOR CUSTOMERS"), nullptr);
  EXPECT_NE(findText(list, "Directory / customer"), nullptr);
  EXPECT_EQ(rowLabels(list).size(), 2u);
  int focusLines = 0;
  for (const DrawOp& op : list) {
    if (op.kind == Kind::kRect) {
      ++focusLines;
      EXPECT_EQ(op.rect, (Rect{36, 297, 302, 2}));
    }
  }
  EXPECT_EQ(focusLines, 1);
}

TEST_F(ScreenDrawing, HoverLightensButtons) {
  DirectoryScreenState state;
  DrawList list = buildScreenDrawing(state, *view_, pointerAt(400, 530));
  EXPECT_EQ((findText(list, "Save") - 1)->colour, (Rgb{60, 128, 108}));
  list = buildScreenDrawing(state, *view_, pointerAt(200, 170));
  EXPECT_EQ(list[3].colour, (Rgb{49, 65, 70}));
}

TEST_F(ScreenDrawing, SearchIsACaseSensitiveSubstringOfNameOrId) {
  DirectoryScreenState state;
  state.searchText = "o";
  EXPECT_EQ(rowLabels(buildScreenDrawing(state, *view_, pointerNowhere())),
            (std::vector<std::string>{"Mochi", "Clover"}));
  state.searchText = "mochi";
  EXPECT_TRUE(rowLabels(buildScreenDrawing(state, *view_, pointerNowhere())).empty());
  state.searchText = "4";  // only in the id animal-4
  EXPECT_EQ(rowLabels(buildScreenDrawing(state, *view_, pointerNowhere())), (std::vector<std::string>{"Juniper"}));
}

TEST_F(ScreenDrawing, ARowClickLoadsTheRecordInTheSameFrame) {
  ASSERT_TRUE(view_->saveRecord("animal-4", "animal", "Juniper", "Dog", "customer-2", true));
  DirectoryScreenState state;
  state.focus = kFocusDetail;
  applyFrameInput(state, *view_, FrameInput{{pressAt(100, 370)}});
  const DrawList list = buildScreenDrawing(state, *view_, pointerAt(100, 370));
  EXPECT_EQ(state.selectedId(), "animal-4");
  EXPECT_EQ(state.nameText, "Juniper");
  EXPECT_EQ(state.detailText, "Dog");
  EXPECT_EQ(state.ownerText, "customer-2");
  EXPECT_TRUE(state.selectedArchived);
  EXPECT_EQ(state.focus, kFocusDetail);
  EXPECT_EQ(rowLabels(list)[1], "Juniper (archived)");
  EXPECT_EQ(list[10].colour, (Rgb{60, 128, 108}));  // selected and hovered
  EXPECT_NE(findText(list, "Restore"), nullptr);
  EXPECT_NE(findText(list, "animal-4"), nullptr);

  // Without a click the pointer only hovers.
  DirectoryScreenState idle;
  applyFrameInput(idle, *view_, FrameInput{});
  EXPECT_EQ(idle.selectedId(), "");
}

TEST_F(ScreenDrawing, AClickSelectsTheRowUnderThePressNotUnderThePointer) {
  // The press was on the third row; by the time the frame runs the pointer is over the first.
  DirectoryScreenState state;
  applyFrameInput(state, *view_, FrameInput{{pressAt(100, 420)}});
  const DrawList list = buildScreenDrawing(state, *view_, pointerAt(100, 320));
  EXPECT_EQ(state.selectedId(), "animal-5");
  EXPECT_EQ(list[8].colour, (Rgb{49, 65, 70}));    // first row: hovered only
  EXPECT_EQ(list[12].colour, (Rgb{48, 116, 96}));  // third row: selected, not hovered
}

TEST_F(ScreenDrawing, RowLabelsAndFieldTextsAreClippedToTheirBoxes) {
  const std::string longName(120, 'W');
  ASSERT_TRUE(view_->saveRecord("", "animal", longName, longName, "customer-1", true));
  DirectoryScreenState state;
  state.nameText = longName;
  state.detailText = longName;
  state.ownerText = longName;
  state.searchText = "W";
  const DrawList list = buildScreenDrawing(state, *view_, pointerNowhere());
  struct Expected {
    std::string text;
    Rect at;  // where the text starts (x, y)
    Rect clip;
  };
  const Expected expected[] = {
      {"W", {48, 263, 0, 0}, {36, 252, 290, 42}},                       // search text
      {longName + " (archived)", {51, 327, 0, 0}, {36, 316, 287, 44}},  // the one row
      {longName, {406, 270, 0, 0}, {392, 258, 542, 46}},                // name
      {longName, {406, 359, 0, 0}, {392, 347, 542, 46}},                // detail
      {longName, {406, 448, 0, 0}, {392, 436, 542, 46}},                // owner
      {"Save", {407, 537, 0, 0}, {392, 526, 125, 44}},                  // buttons alike
  };
  std::size_t next = 0;
  for (const DrawOp& op : list) {
    if (next == std::size(expected) || op.kind != Kind::kTitleText || op.rect != expected[next].at) continue;
    EXPECT_EQ(op.text, expected[next].text);
    ASSERT_TRUE(op.clip.has_value()) << op.text;
    EXPECT_EQ(*op.clip, expected[next].clip) << op.text;
    ++next;
  }
  EXPECT_EQ(next, std::size(expected)) << "texts found in drawing order";
  // Texts outside boxes are not clipped.
  EXPECT_FALSE(findText(list, "Directory / animal")->clip.has_value());
  EXPECT_FALSE(findText(list, "Saved animal-6")->clip.has_value());
}

TEST_F(ScreenDrawing, ALongStatusIsDrawnOnTwoLinesThatFitItsPathShortened) {
  // 13 px a character, not the default measure: 42 characters a line.
  const TextWidth width = [](std::string_view text) { return estimatedTextWidth(text) / 10 * 13; };
  const std::string conflict =
      conflictStatusText({false, true, false}, {"C", "Cat / dental visit, a long note"}, {"C", "x"}, "animal", width);
  const std::string limit = "file.read.limit: file exceeds maximum byte";
  const std::string open = "file.read: unable to open file:";
  const std::pair<std::string, std::string> rows[] = {
      {"Saved animal-5", "Saved animal-5"},
      {conflict, conflict},  // already two lines that fit
      {"file.read: unable to determine file size: data/oreb-vet/store.corvane",
       "file.read: unable to determine file size:\ndata/oreb-vet/store.corvane"},
      {limit + " count: /home/someone/projects/clinic/very/long/path/to/data/oreb-vet/store.corvane",
       limit + "\ncount: .../to/data/oreb-vet/store.corvane"},
      {open + " C:\\Users\\Marta Quillfeather\\AppData\\Local\\oreb-vet\\data\\store.corvane",
       open + "\n...\\Local\\oreb-vet\\data\\store.corvane"},
      {open + " /srv/" + std::string(60, 'd') + "/store.corvane", open + "\n.../store.corvane"},
      {std::string(60, 'x'), std::string(42, 'x') + "\n" + std::string(18, 'x')},
  };
  for (const auto& [status, drawn] : rows) {
    SCOPED_TRACE(status);
    EXPECT_EQ(statusAsDrawn(status, width), drawn);
    std::istringstream lines(drawn);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(width(line), kStatusWidth) << line;
  }
  EXPECT_NE(conflict.find('\n'), std::string::npos);

  // The window draws a store file grown too large to read by its status's fitted lines.
  DirectoryView view(dir_.text("oreb-vet"));
  view.seedDemoData();
  ASSERT_TRUE(runtime::writeFileBytes(dir_.text("oreb-vet/store.corvane"), runtime::Bytes(5 << 20, 'x')));
  view.reloadIfChanged();
  const DrawList list = buildScreenDrawing(DirectoryScreenState{}, view, pointerNowhere(), width);
  EXPECT_NE(findText(list, limit), nullptr) << view.status();
  EXPECT_NE(findText(list, "count: .../oreb-vet/store.corvane"), nullptr);
}

TEST_F(ScreenDrawing, ScrollingPastTheLastMatchReturnsToTheTop) {
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(view_->saveRecord("", "animal", "Pet " + std::to_string(i), "", "customer-1", false));
  }
  DirectoryScreenState state;
  std::vector<std::string> rows = rowLabels(buildScreenDrawing(state, *view_, pointerNowhere()));
  EXPECT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows.front(), "Mochi");
  state.scroll = 3;
  rows = rowLabels(buildScreenDrawing(state, *view_, pointerNowhere()));
  EXPECT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows.front(), "Pet 0");
  EXPECT_EQ(rows.back(), "Pet 5");
  EXPECT_EQ(state.scroll, 3);
  applyFrameInput(state, *view_, FrameInput{});
  EXPECT_EQ(state.scroll, 3);
  state.scroll = 9;  // nine matches: the list returns to the top before it is drawn
  applyFrameInput(state, *view_, FrameInput{});
  EXPECT_EQ(state.scroll, 0);
  EXPECT_EQ(rowLabels(buildScreenDrawing(state, *view_, pointerNowhere())).front(), "Mochi");
}

}  // namespace
}  // namespace app
