// Two windows of the program on one data directory, as two screens with their own views: what
// one saves while the other shows the same record. A save writes what its user changed onto what
// is stored; a field both changed to two values is not saved over without the user seeing it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/form_merge.hpp"
#include "app/record_list.hpp"
#include "app/screen_actions.hpp"
#include "app/screen_input.hpp"
#include "app/screen_layout.hpp"
#include "directory_files.hpp"
#include "input_events.hpp"
#include "refusing_file_system.hpp"
#include "runtime/file_system.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/record_keys.hpp"
#include "store/store_commit.hpp"

namespace app {

void PrintTo(const RecordFields& fields, std::ostream* out) {
  *out << "{\"" << fields.name << "\", \"" << fields.detail << "\", \"" << fields.owner << "\", "
       << (fields.archived ? "archived" : "active") << "}";
}

namespace {

using runtime::testing::TempDirectory;

// A view whose next save first runs `beforeCommit`: another window's save that lands between the
// screen's refresh and this view's commit.
class InterruptedView : public DirectoryView {
 public:
  using DirectoryView::DirectoryView;
  SaveOutcome saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived) override {
    ++saves;
    if (beforeCommit) std::exchange(beforeCommit, nullptr)();
    return DirectoryView::saveRecord(std::move(id), std::move(kind), std::move(name), std::move(detail),
                                     std::move(owner), archived);
  }
  std::function<void()> beforeCommit;
  int saves = 0;
};

// One program's window: its view and its screen state.
struct Window {
  explicit Window(const std::string& directory) : view(directory) {}

  // A click on the record's row in the list.
  void select(const std::string& id) {
    std::optional<Rect> row;
    forEachListedRecord(state, view, [&](const store::Record& record, const Rect& at) {
      if (record.id == id) row = at;
    });
    ASSERT_TRUE(row.has_value()) << id << " is not listed";
    frame({pressOn(*row)}, state.windowFocused);
    ASSERT_EQ(state.selectedId(), id);
  }
  void click(const Rect& button) { frame({pressOn(button)}, state.windowFocused); }
  // One frame of the window's input, then its drawing, on screen at `drawnAt`.
  void frame(std::vector<canvas::InputEvent> events, bool focused, std::uint32_t drawnAt = 0) {
    applyFrameInput(state, view, FrameInput{std::move(events), focused});
    rememberShownScreen(state, view, drawnAt);
  }
  RecordFields stored(const std::string& id) const {
    const std::int32_t index = store::findRecordIndex(view.database, id);
    EXPECT_GE(index, 0) << id;
    return index < 0 ? RecordFields{} : recordFieldsOf(view.database.records[static_cast<std::size_t>(index)]);
  }

  InterruptedView view;
  DirectoryScreenState state;
};

// Window A on a fresh directory with the demo records, and window B opened after it, each
// showing `id`.
struct TwoWindowsOn {
  explicit TwoWindowsOn(const std::string& id) : a(dir.text()), b((a.view.seedDemoData(), dir.text())) {
    a.select(id), b.select(id);
  }
  TempDirectory dir;
  Window a;
  Window b;
};

// What a fresh view reads from the directory.
RecordFields storedIn(const std::string& directory, const std::string& id) { return Window(directory).stored(id); }

const RecordFields kMochi{"Mochi", "Cat / annual wellness", "customer-1", false};
const RecordFields kJuniper{"Juniper", "Dog / vaccination review", "customer-2", false};

RecordFields with(RecordFields fields, const std::function<void(RecordFields&)>& change) {
  change(fields);
  return fields;
}

TEST(TwoWindows, ASaveWritesWhatItsUserChangedOntoWhatTheOtherSaved) {
  using Edit = std::function<void(DirectoryScreenState&)>;
  const auto detail = [](const char* text) { return [text](DirectoryScreenState& s) { s.detailText = text; }; };
  const auto name = [](const char* text) { return [text](DirectoryScreenState& s) { s.nameText = text; }; };
  const auto owner = [](const char* text) { return [text](DirectoryScreenState& s) { s.ownerText = text; }; };
  const Edit nothing = [](DirectoryScreenState&) {};
  const auto archived = [](RecordFields& f) { f.archived = true; };
  struct Row {
    const char* name;
    const char* id;
    Edit aEdit;          // A's edit of the same record; empty when A archives it instead
    bool aInBetween;     // A's save lands between B's refresh and B's commit
    Edit bEdit;          // B's edit of the form
    bool bArchives;      // B clicks Archive rather than Save
    const char* status;  // B's status after the click ("Saved <id>" when it saved)
    RecordFields form;   // B's form after the click
    RecordFields first;  // stored after B's click
    RecordFields again;  // stored after B clicks Save once more
  };
  const char* const saved3 = "Saved animal-3";
  const char* const commitFailed = kStatusCommitFailed;
  const char* const detailA = "Other window: SPECIES / VISIT NOTE\n\"Cat / A's note\"; Save keeps yours";
  const RecordFields mochiArchived = with(kMochi, archived);
  const RecordFields mochiDental = with(kMochi, [](RecordFields& f) { f.detail = "Cat / dental"; });
  const RecordFields mochiA = with(kMochi, [](RecordFields& f) { f.detail = "Cat / A's note"; });
  const RecordFields mochiB = with(kMochi, [](RecordFields& f) { f.detail = "Cat / B's note"; });
  const RecordFields juniperBoth = {"Juniper Ash", "Dog / booster due", "customer-2", false};
  const RecordFields mochiRenamedA = with(kMochi, [](RecordFields& f) { f.name = "Mochi A"; });
  const RecordFields mochiRenamedB = with(kMochi, [](RecordFields& f) { f.name = "Mochi B"; });
  const Row rows[] = {
      {"A archives, B edits the detail: both kept", "animal-3", nullptr, false, detail("Cat / dental"), false, saved3,
       with(mochiDental, archived), with(mochiDental, archived), with(mochiDental, archived)},
      {"A edits the detail, B renames: both kept", "animal-4", detail("Dog / booster due"), false, name("Juniper Ash"),
       false, "Saved animal-4", juniperBoth, juniperBoth, juniperBoth},
      {"both edit the detail, to two texts: nothing saved, then B's", "animal-3", detail("Cat / A's note"), false,
       detail("Cat / B's note"), false, detailA, mochiB, mochiA, mochiB},
      {"both edit the detail to one text: saved", "animal-3", detail("Cat / dental"), false, detail("Cat / dental"),
       false, saved3, mochiDental, mochiDental, mochiDental},
      {"both archive: archived once", "animal-3", nullptr, false, nothing, true, saved3, mochiArchived, mochiArchived,
       mochiArchived},
      {"A changes the owner, B archives: both kept",
       "animal-3",
       owner("customer-2"),
       false,
       nothing,
       true,
       saved3,
       {"Mochi", "Cat / annual wellness", "customer-2", true},
       {"Mochi", "Cat / annual wellness", "customer-2", true},
       {"Mochi", "Cat / annual wellness", "customer-2", true}},
      {"both rename, to two names, B archives: nothing saved, the click's flag kept for the next save", "animal-3",
       name("Mochi A"), false, name("Mochi B"), true, "Other window: NAME \"Mochi A\"; Save keeps yours",
       with(mochiRenamedB, archived), mochiRenamedA, with(mochiRenamedB, archived)},
      {"A's detail between B's refresh and commit, B renames: refused, the detail follows", "animal-3",
       detail("Cat / A's note"), true, name("Mochi B"), false, commitFailed,
       with(mochiA, [](RecordFields& f) { f.name = "Mochi B"; }), mochiA,
       with(mochiA, [](RecordFields& f) { f.name = "Mochi B"; })},
      {"A's detail between B's refresh and commit, B's detail differs: refused as changed", "animal-3",
       detail("Cat / A's note"), true, detail("Cat / B's note"), false, detailA, mochiB, mochiA, mochiB},
      {"A archives between B's refresh and commit, B edits the detail: refused, then both kept", "animal-3", nullptr,
       true, detail("Cat / dental"), false, commitFailed, with(mochiDental, archived), mochiArchived,
       with(mochiDental, archived)},
      {"A's detail between B's refresh and commit, B archives: refused, the click kept, then both kept", "animal-3",
       detail("Cat / A's note"), true, nothing, true, commitFailed, with(mochiA, archived), mochiA,
       with(mochiA, archived)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDirectory dir;
    Window a(dir.text());
    a.view.seedDemoData();
    Window b(dir.text());  // opened before A's save
    a.select(row.id);
    b.select(row.id);
    const auto aSaves = [&a, &row] {
      if (row.aEdit) {
        row.aEdit(a.state);
        a.click(kSaveButton);
      } else {
        a.click(kArchiveButton);
      }
      ASSERT_EQ(a.view.status(), std::string("Saved ") + row.id);
    };
    if (row.aInBetween) {
      b.view.beforeCommit = aSaves;
    } else {
      aSaves();
    }
    const std::int32_t sequence = 6;  // five seeded records and A's save

    row.bEdit(b.state);
    b.click(row.bArchives ? kArchiveButton : kSaveButton);
    EXPECT_EQ(b.view.status(), row.status);
    EXPECT_EQ(formFieldsOf(b.state), row.form);
    EXPECT_EQ(b.state.selectedId(), row.id);
    EXPECT_EQ(storedIn(dir.text(), row.id), row.first);
    const bool savedFirst = b.view.status() == std::string("Saved ") + row.id;
    EXPECT_EQ(b.view.database.store.sequence, sequence + (savedFirst ? 1 : 0));
    if (savedFirst) {
      EXPECT_EQ(b.state.stored()->base.fields, row.first);
    }

    b.click(kSaveButton);
    EXPECT_EQ(b.view.status(), std::string("Saved ") + row.id);
    EXPECT_EQ(storedIn(dir.text(), row.id), row.again);
    EXPECT_EQ(formFieldsOf(b.state), row.again);
    EXPECT_EQ(b.view.database.records.size(), 5u);
  }
}

TEST(TwoWindows, TheConflictStatusNamesTheFieldsByTheirLabelsAndEndsInsideTheForm) {
  // Measured as a proportional font would: "W" and "M" wide, the rest 10 px.
  const TextWidth width = [](std::string_view text) {
    std::int32_t pixels = estimatedTextWidth(text);
    for (const char c : text) pixels += c == 'W' ? 9 : (c == 'M' ? 7 : 0);
    return pixels;
  };
  std::string e20;  // 20 characters drawn as "?", of two bytes each
  for (int i = 0; i < 20; ++i) e20 += "\u00e9";
  const std::string w60(60, 'W');
  const auto only = [](std::size_t field) {
    TextFieldSet set{};
    set[field] = true;
    return set;
  };
  struct Row {
    TextFieldSet fields;
    const char* kind;
    RecordFields yours, stored;
    std::string status;
  };
  const Row rows[] = {
      {only(2), "animal", {"C", "R", "d"}, {"C", "R", "e"}, "Other window: OWNER CUSTOMER ID \"e\"; Save keeps yours"},
      {{true, true, true},
       "animal",
       {"B", "B", "b"},
       {"A", "A", "a"},
       "Other window: NAME \"A\" +2 more; Save keeps yours"},
      {only(1), "customer", {"C", "x"}, {"C", "y"}, "Other window: CONTACT / DEMO ADDRESS\n\"y\"; Save keeps yours"},
      // Too wide for one line: the field, then the value from the word where it departs from the
      // user's text, cut at the end; never the advice.
      {{false, true, true},
       "animal",
       {"C", "R / v / B: ears"},
       {"C", "R / v / A: claws trimmed and filed down short"},
       "Other window: SPECIES / VISIT NOTE +1 more\n\"...A: claws trimmed and filed do...\"; Save keeps yours"},
      {only(1),
       "animal",
       {"C", "x"},
       {"C", w60},
       "Other window: SPECIES / VISIT NOTE\n\"" + w60.substr(0, 17) + "...\"; Save keeps yours"},
      {only(0),
       "animal",
       {"x"},
       {"Mochi " + std::string(40, 'M')},
       "Other window: NAME\n\"Mochi " + std::string(15, 'M') + "...\"; Save keeps yours"},
      {only(1),
       "animal",
       {"C", "R / x"},
       {"C", "R / " + e20 + e20},
       "Other window: SPECIES / VISIT NOTE\n\"..." + e20 + e20.substr(0, 18) + "...\"; Save keeps yours"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    const runtime::Text status = conflictStatusText(row.fields, row.stored, row.yours, row.kind, width);
    EXPECT_EQ(status, row.status);
    for (std::size_t start = 0; start < status.size();) {
      const std::size_t end = std::min(status.find('\n', start), status.size());
      EXPECT_LE(width(std::string_view(status).substr(start, end - start)), kStatusWidth);
      start = end + 1;
    }
  }
}

TEST(TwoWindows, TheConflictStatusEndsWhenTheFormLeavesTheTypedText) {
  const std::function<void(Window&)> steps[] = {
      [](Window& w) { w.select("animal-4"); }, [](Window& w) { w.select("animal-3"); },
      [](Window& w) { w.click(kNewRecordButton); }, [](Window& w) { w.click(kCustomersTab); },
      [](Window& w) { w.click(kSaveButton), w.select("animal-4"); }};  // a later status stays
  for (const auto& step : steps) {
    TempDirectory dir;
    Window a(dir.text());
    a.view.seedDemoData();
    Window b(dir.text());
    a.select("animal-3"), b.select("animal-3");
    a.state.detailText = "Cat / A", b.state.detailText = "Cat / B";
    a.click(kSaveButton), b.click(kSaveButton);
    ASSERT_EQ(b.view.status(), "Other window: SPECIES / VISIT NOTE\n\"Cat / A\"; Save keeps yours");
    step(b);
    EXPECT_EQ(b.view.status(), &step == &steps[4] ? "Saved animal-3" : "Ready");
  }
}

TEST(TwoWindows, AFieldTypedAsTheOtherWindowSavedItIsAgreedAndTypingOnIsTheUsersAlone) {
  TempDirectory dir;
  Window a(dir.text());
  a.view.seedDemoData();
  Window b(dir.text());
  a.select("animal-4"), b.select("animal-4");
  a.state.detailText += " booster", b.state.detailText += " booster";
  a.click(kSaveButton);
  applyWindowFocus(b.state, b.view, true);  // B reads A's save
  b.state.detailText += " due";
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Saved animal-4");
  EXPECT_EQ(storedIn(dir.text(), "animal-4").detail, "Dog / vaccination review booster due");
}

TEST(TwoWindows, ANewRecordIsSavedOnWhatTheOtherWindowAdded) {
  TempDirectory dir;
  Window a(dir.text());
  a.view.seedDemoData();
  Window b(dir.text());
  a.click(kCustomersTab);
  a.click(kNewRecordButton);
  a.state.nameText = "Ada Quint";
  a.click(kSaveButton);
  ASSERT_EQ(a.view.status(), "Saved customer-6");

  b.click(kNewRecordButton);
  b.state.nameText = "Pepper";
  b.state.detailText = "Dog / first visit";
  b.state.ownerText = "customer-6";
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Saved animal-7");
  EXPECT_EQ(b.state.selectedId(), "animal-7");
  EXPECT_EQ(b.state.stored()->base.fields, (RecordFields{"Pepper", "Dog / first visit", "customer-6", false}));
  const Window check(dir.text());
  EXPECT_EQ(check.stored("customer-6").name, "Ada Quint");
  EXPECT_EQ(check.stored("animal-7").owner, "customer-6");
}

TEST(TwoWindows, GainingTheFocusShowsTheOtherWindowsSavesAndTheUntouchedFieldsFollow) {
  TempDirectory dir;
  Window a(dir.text());
  a.view.seedDemoData();
  Window b(dir.text());
  a.select("animal-3");
  b.select("animal-3");
  applyWindowFocus(b.state, b.view, true);
  b.state.nameText = "Mochi B";  // B's own change, not saved yet

  struct Step {
    const char* name;
    const char* aDetail;  // A saves this detail for Mochi first, when given
    bool bFocused;
    const char* bDetail;  // the detail B's view holds, and B's form shows, after the step
  };
  const Step steps[] = {
      {"B keeps the focus while A saves: not read", "Cat / first", true, "Cat / annual wellness"},
      {"B loses the focus", nullptr, false, "Cat / annual wellness"},
      {"B gains it: read", nullptr, true, "Cat / first"},
      {"B keeps it while A saves again", "Cat / second", true, "Cat / first"},
      {"B loses it and A saves once more", "Cat / third", false, "Cat / first"},
      {"B gains it again", nullptr, true, "Cat / third"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.aDetail != nullptr) {
      a.state.detailText = step.aDetail;
      a.click(kSaveButton);
      ASSERT_EQ(a.view.status(), "Saved animal-3");
    }
    applyWindowFocus(b.state, b.view, step.bFocused);
    EXPECT_EQ(b.stored("animal-3").detail, step.bDetail);
    EXPECT_EQ(b.state.detailText, step.bDetail);
    EXPECT_EQ(b.state.stored()->base.fields.detail, step.bDetail);
    EXPECT_EQ(b.state.nameText, "Mochi B");                  // typed by B: kept
    EXPECT_EQ(b.state.stored()->base.fields.name, "Mochi");  // and still measured against what B loaded
    EXPECT_EQ(b.view.status(), "Ready");                     // a refresh says nothing
  }

  // A renames Mochi too: the focus brings it in, B's name stays as typed, and B's save sees both.
  a.state.nameText = "Mochi A";
  a.click(kSaveButton);
  applyWindowFocus(b.state, b.view, false);
  applyWindowFocus(b.state, b.view, true);
  EXPECT_EQ(b.stored("animal-3").name, "Mochi A");
  EXPECT_EQ(b.state.nameText, "Mochi B");
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Other window: NAME \"Mochi A\"; Save keeps yours");
  EXPECT_EQ(b.state.stored()->base.fields.name, "Mochi A");
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Saved animal-3");
  EXPECT_EQ(storedIn(dir.text(), "animal-3"), (RecordFields{"Mochi B", "Cat / third", "customer-1", false}));
}

TEST(TwoWindows, AClickOnAWindowWithoutTheFocusActsOnWhatItShowed) {
  // B shows what it read before A's save; the click that gives B the focus means what B drew
  // where it landed, and B shows what A saved only after it.
  struct Case {
    const char* name;
    bool archivedFirst;   // Mochi is archived, and both windows show it so, before A's change
    const char* bSearch;  // B's search text
    std::function<void(Window&)> aChange;
    Rect bClick;            // where B is clicked: Archive or Restore, or its first row
    const char* bStatus;    // B's status after the click
    const char* bSelected;  // the record in B's form after the click
    RecordFields mochi;     // Mochi as stored at the end
  };
  const auto aArchives = [](Window& a) { a.click(kArchiveButton); };
  const auto aRenamesMochi = [](Window& a) {
    a.state.nameText = "Clover Too";
    a.click(kSaveButton);
  };
  const RecordFields mochiArchived = with(kMochi, [](RecordFields& f) { f.archived = true; });
  const Case cases[] = {
      {"A archives, B clicks the Archive it shows", false, "", aArchives, kArchiveButton, "Saved animal-3", "animal-3",
       mochiArchived},
      {"A restores, B clicks the Restore it shows", true, "", aArchives, kArchiveButton, "Saved animal-3", "animal-3",
       kMochi},
      {"A renames Mochi into B's filter, B clicks the one row it shows", false, "Clover", aRenamesMochi, listRow(0),
       "Ready", "animal-5", with(kMochi, [](RecordFields& f) { f.name = "Clover Too"; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory dir;
    Window a(dir.text());
    a.view.seedDemoData();
    ASSERT_TRUE(a.view.saveRecord("animal-3", "animal", kMochi.name, kMochi.detail, kMochi.owner, c.archivedFirst));
    Window b(dir.text());
    a.select("animal-3");
    b.select("animal-3");
    b.state.searchText = c.bSearch;
    b.frame({}, false);  // B drawn, and left without the focus
    c.aChange(a);
    ASSERT_EQ(a.view.status(), "Saved animal-3");

    b.frame({pressOn(c.bClick)}, true);
    EXPECT_EQ(b.view.status(), c.bStatus);
    EXPECT_EQ(b.state.selectedId(), c.bSelected);
    EXPECT_EQ(storedIn(dir.text(), "animal-3"), c.mochi);
    EXPECT_EQ(b.stored("animal-3"), c.mochi);  // and B shows it now
  }
}

TEST(TwoWindows, OneWindowAloneSavesTheFormAsItIs) {
  // Nothing else saves: the loaded record is the stored one, and the form is written as it is,
  // even a field typed back to what was loaded.
  TempDirectory dir;
  Window a(dir.text());
  a.view.seedDemoData();
  a.select("animal-4");
  applyWindowFocus(a.state, a.view, true);
  a.state.detailText = "Dog / x";
  a.state.nameText = "Juniper";
  a.click(kArchiveButton);
  EXPECT_EQ(a.view.status(), "Saved animal-4");
  EXPECT_EQ(a.stored("animal-4"), (RecordFields{"Juniper", "Dog / x", "customer-2", true}));
  EXPECT_TRUE(a.state.selectedArchived);
  a.click(kArchiveButton);
  EXPECT_EQ(a.stored("animal-4"), (RecordFields{"Juniper", "Dog / x", "customer-2", false}));
  EXPECT_EQ(a.view.database.store.sequence, 7);
}

TEST(TwoWindows, AWindowThatLostItsStoreRecoversWithoutARestart) {
  // The store taken away while the window runs, and given back: the window's next save, or its
  // next gain of the focus, reads it again. Saving the new animal then stores it once, also where
  // the first save's write-ahead file was promoted after all.
  namespace fs = std::filesystem;
  enum class Loss { kSnapshotUnchangeable, kDirectoryReplacedByAFile, kDirectoryRemoved, kSnapshotRemoved };
  struct Case {
    const char* name;
    Loss loss;
    const char* firstStatus;   // the save while the store is away
    const char* firstId;       // the form's record after it
    const char* secondStatus;  // the save after it, still away
  };
  const Case cases[] = {
      {"snapshot file unchangeable", Loss::kSnapshotUnchangeable,
       "Kept animal-6; the store file could not be replaced yet", "animal-6",
       "Not saved; the store file could not be replaced yet"},
      {"directory replaced by a file", Loss::kDirectoryReplacedByAFile, kStatusStoreMissing, "", kStatusStoreMissing},
      {"directory removed", Loss::kDirectoryRemoved, kStatusStoreMissing, "", kStatusStoreMissing},
      {"snapshot file removed", Loss::kSnapshotRemoved, kStatusStoreMissing, "", kStatusStoreMissing},
  };
  for (const Case& c : cases) {
    for (const bool byFocus : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (byFocus ? ", read again on focus" : ", read again by the save"));
      TempDirectory root;
      const fs::path data = root.path() / "data";
      const fs::path away = root.path() / "away";
      Window w(data.string());
      w.view.seedDemoData();
      applyWindowFocus(w.state, w.view, true);
      testing::FixedSnapshotFileSystem fixed;
      fixed.refusing = c.loss == Loss::kSnapshotUnchangeable;
      const runtime::ScopedFileSystem scoped(fixed);
      if (c.loss == Loss::kSnapshotRemoved) fs::rename(data / "store.corvane", root.path() / "store.corvane");
      if (c.loss == Loss::kDirectoryRemoved || c.loss == Loss::kDirectoryReplacedByAFile) fs::rename(data, away);
      if (c.loss == Loss::kDirectoryReplacedByAFile) std::ofstream(data) << "x";

      w.click(kNewRecordButton);
      w.state.nameText = "Pepper";
      w.state.detailText = "Dog";
      w.click(kSaveButton);
      EXPECT_EQ(w.view.status(), c.firstStatus);
      EXPECT_EQ(w.state.selectedId(), c.firstId);
      w.click(kSaveButton);
      EXPECT_EQ(w.view.status(), c.secondStatus);
      applyWindowFocus(w.state, w.view, false);
      applyWindowFocus(w.state, w.view, true);
      EXPECT_EQ(w.view.status(), c.secondStatus);  // nothing to read yet: the status holds

      fixed.refusing = false;
      if (c.loss == Loss::kDirectoryReplacedByAFile) fs::remove(data);
      if (c.loss == Loss::kDirectoryRemoved || c.loss == Loss::kDirectoryReplacedByAFile) fs::rename(away, data);
      if (c.loss == Loss::kSnapshotRemoved) fs::rename(root.path() / "store.corvane", data / "store.corvane");
      if (byFocus) {
        applyWindowFocus(w.state, w.view, false);
        applyWindowFocus(w.state, w.view, true);
        EXPECT_GE(w.view.database.records.size(), 5u);
        EXPECT_NE(w.view.status(), kStatusStoreMissing);
      }
      w.click(kSaveButton);
      EXPECT_EQ(w.view.status(), "Saved animal-6");
      EXPECT_EQ(w.state.selectedId(), "animal-6");
      const Window check(data.string());
      EXPECT_EQ(check.view.database.records.size(), 6u);
      EXPECT_EQ(check.stored("animal-6"), (RecordFields{"Pepper", "Dog", "customer-1", false}));
    }
  }
}

TEST(TwoWindows, ASavesOutcomeIsWhatTheStoreHoldsWhenReadBack) {
  // A new animal "Peper" saved while the store is in trouble: what the store read back holds
  // decides what the form, the list and the status say. The trouble ends, the user goes on
  // (`then`), and saves the form again under `name`: the record is stored once, or, for a form
  // the user made anew, twice.
  namespace fs = std::filesystem;
  enum class Fault {
    kSnapshotFixed,
    kWalRefused,
    kWalNotPermitted,
    kWalCloseFails,
    kStoreTakenAfterWal,
    kDirectoryNotFlushedTwice,
    kWalReadWhileNotFlushed,
    kCopyLeftWithoutRoom,
    kCopyLeftReadUnlocked,
    kOtherCommitsBeforeReadBack,
    kSnapshotFixedReadUnlocked
  };
  struct Row {
    const char* name;
    Fault fault;
    const char* status;  // after the first save
    const char* formId;  // the form's record after it; "" for a new record
    std::size_t listed;  // records the window lists after it
    std::function<void(Window&, const std::string&)> then;
    const char* savedName;
    const char* lastStatus;
    std::size_t records;              // stored at the end
    const char* detail;               // animal-6's detail at the end
    bool correctedWhileAway = false;  // the user saves `savedName` while the store is away
  };
  const auto nothing = [](Window&, const std::string&) {};
  const auto focus = [](Window& w, const std::string&) {
    applyWindowFocus(w.state, w.view, false);
    applyWindowFocus(w.state, w.view, true);
  };
  const auto otherOpens = [](Window&, const std::string& data) { DirectoryView other(data); };
  std::optional<DirectoryView> reader;  // opened, without the lock, while this window's commit held it
  const auto readerSavesOn = [&reader](Window&, const std::string&) {
    ASSERT_TRUE(reader.has_value() && reader->reloadIfChanged());
    EXPECT_TRUE(reader->saveRecord("customer-2", "customer", "Tobias W", "", "", false)) << reader->status();
  };
  const auto focusThenOtherEdits = [focus](Window& w, const std::string& data) {
    focus(w, data);
    ASSERT_EQ(w.state.selectedId(), "animal-6");
    DirectoryView other(data);
    ASSERT_TRUE(other.saveRecord("animal-6", "animal", "Peper", "Dog / other", "customer-1", false)) << other.status();
  };
  const auto tabThereAndBack = [](Window& w, const std::string&) {
    w.click(kCustomersTab);
    w.click(kAnimalsTab);
    w.state.nameText = "Peper";
    w.state.detailText = "Dog";
  };
  // The directory comes back from a copy without the write-ahead file, and another program saves
  // its own "Peper" under animal-6, alike but for its update time.
  const auto lookAlike = [](Window&, const std::string& data) {
    fs::remove(fs::path(data) / "store.wal.corvane");
    DirectoryView other(data);
    ASSERT_TRUE(
        other.saveRecord("customer-1", "customer", "Marta Quillfeather", "marta.quillfeather@example.test", "", false));
    ASSERT_TRUE(other.saveRecord("", "animal", "Peper", "Dog", "customer-1", false));
    ASSERT_EQ(other.lastSavedId, "animal-6");
  };
  // This window's focus reads the store back while the snapshot file cannot be replaced, and again
  // once it can: kept, then saved.
  const auto focusWhileFixed = [focus](Window& w, const std::string& data) {
    {
      testing::FixedSnapshotFileSystem fixed;
      const runtime::ScopedFileSystem scoped(fixed);
      focus(w, data);
      EXPECT_EQ(w.view.status(), "Kept animal-6; the store file could not be replaced yet");
    }
    focus(w, data);
    EXPECT_EQ(w.view.status(), "Saved animal-6");
  };
  // Another program saves a "Peper" alike in every field and update time under animal-6.
  const auto otherSavesAlike = [](Window&, const std::string& data) {
    DirectoryView other(data);
    ASSERT_TRUE(other.saveRecord("", "animal", "Peper", "Dog", "customer-1", false));
  };
  // Another program's commit of a new customer on the store as it is (moving a kept file into place
  // first) is in flight: its whole write-ahead file is written, made in a copy of the directory.
  const auto otherCommitInFlight = [](const fs::path& data) {
    if (fs::exists(data / "store.wal.corvane")) fs::rename(data / "store.wal.corvane", data / "store.corvane");
    fs::create_directory(data.parent_path() / "other");
    testing::copyFilesInto(data, data.parent_path() / "other");
    ASSERT_TRUE(
        DirectoryView((data.parent_path() / "other").string()).saveRecord("", "customer", "Otter", "", "", false));
    fs::copy_file(data.parent_path() / "other" / "store.corvane", data / "store.wal.corvane");
  };
  // That commit's flush fails and it removes its file: nothing this window read is missing.
  const auto otherGivesUp = [focus](Window& w, const std::string& data) {
    fs::remove(fs::path(data) / "store.wal.corvane");
    focus(w, data);
    EXPECT_NE(w.view.status(), kStatusStoreMissing);
  };
  const auto otherInFlightAtFocus = [focus, otherCommitInFlight, otherGivesUp](Window& w, const std::string& data) {
    otherCommitInFlight(data);
    {
      testing::HookedFileSystem unlocked;
      unlocked.hook = [](std::string_view operation, std::string_view) { return operation != "lock"; };
      const runtime::ScopedFileSystem scoped(unlocked);
      focus(w, data);
    }
    otherGivesUp(w, data);
  };
  // The snapshot file is freed, but the directory may not be written: the kept save says so.
  const auto focusWithoutPermission = [focus](Window& w, const std::string& data) {
    testing::HookedFileSystem denied;
    denied.hook = [](std::string_view operation, std::string_view path) {
      if (operation != "write" || !path.ends_with("store.next.corvane")) return true;
      runtime::noteWriteFailure(runtime::WriteFailure::kNoPermission);
      return false;
    };
    const runtime::ScopedFileSystem scoped(denied);
    focus(w, data);
    EXPECT_EQ(w.view.status(), "Kept animal-6; no permission to write the store file");
  };
  const char* const missing = kStatusStoreMissing;
  const Row rows[] = {
      {"snapshot file fixed: kept in the write-ahead file", Fault::kSnapshotFixed,
       "Kept animal-6; the store file could not be replaced yet", "animal-6", 6, nothing, "Pepper", "Saved animal-6", 6,
       "Dog"},
      {"write-ahead file refused: not kept", Fault::kWalRefused, kStatusCommitFailed, "", 5, nothing, "Pepper",
       "Saved animal-6", 6, "Dog"},
      {"write-ahead file not permitted: not saved, and says why", Fault::kWalNotPermitted,
       "Not saved; no permission to write the store file", "", 5, nothing, "Pepper", "Saved animal-6", 6, "Dog"},
      {"not kept, and another program's alike record is not this window's", Fault::kWalRefused, kStatusCommitFailed, "",
       5, otherSavesAlike, "Peper", "Saved animal-7", 7, "Dog"},
      {"write-ahead file whole, its close failed: promoted", Fault::kWalCloseFails, "Saved animal-6", "animal-6", 6,
       nothing, "Pepper", "Saved animal-6", 6, "Dog"},
      {"store away after the write-ahead file, this window's focus promotes it", Fault::kStoreTakenAfterWal, missing,
       "", 0, focus, "Pepper", "Saved animal-6", 6, "Dog"},
      {"another program's open promotes it", Fault::kStoreTakenAfterWal, missing, "", 0, otherOpens, "Pepper",
       "Saved animal-6", 6, "Dog"},
      {"this window's focus keeps it while the snapshot file is fixed", Fault::kStoreTakenAfterWal, missing, "", 0,
       focusWhileFixed, "Pepper", "Saved animal-6", 6, "Dog"},
      {"promoted, then another program changes its detail", Fault::kStoreTakenAfterWal, missing, "", 0,
       focusThenOtherEdits, "Pepper", "Saved animal-6", 6, "Dog / other"},
      {"a tab there and back makes a new form", Fault::kStoreTakenAfterWal, missing, "", 0, tabThereAndBack, "Peper",
       "Saved animal-7", 7, "Dog"},
      {"corrected and saved while away, then another program's open promotes it", Fault::kStoreTakenAfterWal, missing,
       "", 0, otherOpens, "Pepper", "Saved animal-6", 6, "Dog", true},
      {"another program's look-alike under the id is not this window's save", Fault::kStoreTakenAfterWal, missing, "",
       0, lookAlike, "Peper", "Saved animal-7", 7, "Dog"},
      {"moved into place, the directory not flushed twice: saved once", Fault::kDirectoryNotFlushedTwice,
       "Saved animal-6", "animal-6", 6, nothing, "Pepper", "Saved animal-6", 6, "Dog"},
      {"another program read the file its flush then lost: nothing missing", Fault::kWalReadWhileNotFlushed,
       kStatusCommitFailed, "", 5, readerSavesOn, "Pepper", "Saved animal-6", 6, "Dog"},
      {"a copy left, no room to move it, moved by another program", Fault::kCopyLeftWithoutRoom, "Saved animal-6",
       "animal-6", 6, otherOpens, "Pepper", "Saved animal-6", 6, "Dog"},
      {"a copy left, read without the lock, moved by another program", Fault::kCopyLeftReadUnlocked, "Saved animal-6",
       "animal-6", 6, otherOpens, "Pepper", "Saved animal-6", 6, "Dog"},
      {"another program's commit in flight at the read-back, then given up: saved", Fault::kOtherCommitsBeforeReadBack,
       "Saved animal-6", "animal-6", 6, otherGivesUp, "Pepper", "Saved animal-6", 6, "Dog"},
      {"kept, read back without the lock, then another's commit in flight given up", Fault::kSnapshotFixedReadUnlocked,
       "Kept animal-6; the store file could not be replaced yet", "animal-6", 6, otherInFlightAtFocus, "Pepper",
       "Saved animal-6", 6, "Dog"},
      {"kept, then the file waits for permission", Fault::kSnapshotFixed,
       "Kept animal-6; the store file could not be replaced yet", "animal-6", 6, focusWithoutPermission, "Pepper",
       "Saved animal-6", 6, "Dog"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDirectory root;
    const fs::path data = root.path() / "data";
    Window w(data.string());
    w.view.seedDemoData();
    testing::HookedFileSystem hooked;
    const runtime::ScopedFileSystem scoped(hooked);
    reader.reset();
    if (row.fault == Fault::kOtherCommitsBeforeReadBack) hooked.refusedLock = runtime::FileSystem::LockAttempt::kBusy;
    int directoryFlushes = 0;
    bool copyLeft = false;
    bool lockHeld = false;
    bool committed = false;
    bool walWritten = false;
    hooked.hook = [&](std::string_view operation, std::string_view path) {
      const bool wal = path.ends_with("store.wal.corvane");
      switch (row.fault) {
        case Fault::kSnapshotFixed:
          return !(operation == "replace" && path.ends_with("/store.corvane"));
        case Fault::kWalNotPermitted:
          if (operation == "write" && wal) runtime::noteWriteFailure(runtime::WriteFailure::kNoPermission);
          [[fallthrough]];
        case Fault::kWalRefused:
          return !(operation == "write" && wal);
        case Fault::kWalCloseFails:
          return !(operation == "written" && wal);
        case Fault::kStoreTakenAfterWal:
          if (operation == "sync" && wal) fs::rename(data, root.path() / "away");
          return !(operation == "sync" && wal);
        case Fault::kDirectoryNotFlushedTwice:
          return !(operation == "sync directory" && ++directoryFlushes <= 2);
        case Fault::kWalReadWhileNotFlushed:
          if (operation == "lock") return !lockHeld;
          if (operation != "sync" || !wal || reader) return true;
          lockHeld = true;  // by this window's commit, for the other program's open
          reader.emplace(data.string());
          return lockHeld = false;
        case Fault::kCopyLeftWithoutRoom:
        case Fault::kCopyLeftReadUnlocked: {
          if (operation == "delete" && wal) return !(copyLeft = true);
          const bool next = operation == "write" && path.ends_with("store.next.corvane");
          if (copyLeft && next) runtime::noteWriteFailure(runtime::WriteFailure::kNoRoom);
          return !(copyLeft && (row.fault == Fault::kCopyLeftReadUnlocked ? operation == "lock" : next));
        }
        case Fault::kOtherCommitsBeforeReadBack:
          committed = committed || (operation == "delete" && wal);
          if (committed && !lockHeld && operation == "exists") {
            lockHeld = true;  // by the other program, for this window's read-back
            otherCommitInFlight(data);
          }
          return !(lockHeld && operation == "lock" && path.starts_with(data.string()));
        case Fault::kSnapshotFixedReadUnlocked:
          walWritten = walWritten || (operation == "written" && wal);
          return !(operation == "replace" && path.ends_with("/store.corvane")) && !(walWritten && operation == "lock");
      }
      return true;
    };
    w.click(kNewRecordButton);
    w.state.nameText = "Peper";
    w.state.detailText = "Dog";
    w.click(kSaveButton);
    EXPECT_EQ(w.view.status(), row.status);
    EXPECT_EQ(w.state.selectedId(), row.formId);
    EXPECT_EQ(w.view.database.records.size(), row.listed);  // the list shows what the store holds
    EXPECT_EQ(w.state.nameText, "Peper");

    hooked.hook = nullptr;
    if (row.correctedWhileAway) {
      w.state.nameText = row.savedName;
      w.click(kSaveButton);
      EXPECT_EQ(w.view.status(), kStatusStoreMissing);
    }
    if (row.fault == Fault::kStoreTakenAfterWal) fs::rename(root.path() / "away", data);
    row.then(w, data.string());
    w.state.nameText = row.savedName;
    w.click(kSaveButton);
    EXPECT_EQ(w.view.status(), row.lastStatus);
    const Window check(data.string());
    EXPECT_EQ(check.view.database.records.size(), row.records);
    EXPECT_EQ(check.stored("animal-6"), (RecordFields{row.savedName, row.detail, "customer-1", false}));
  }
}

TEST(TwoWindows, AnotherProgramsCommitInFlightIsNeitherShownNorMergedNorSaved) {
  // B's commit of a new customer "Otter" and of "Juniper B" is in flight: its whole write-ahead
  // file is written and B holds the lock, for real or, where B ends between two attempts of A's
  // reading, as the hook answers. A and C read nothing of it, and their saves are refused until
  // B gives up or completes; B ends between A's merge and A's commit. Then C's owner lands between
  // A's reading and A's commit: A's commit is refused and merges it, and A's next save keeps both.
  namespace fs = std::filesystem;
  for (const auto& [completes, endsWhileAReads] : {std::pair{false, false}, {true, false}, {false, true}}) {
    SCOPED_TRACE(::testing::Message() << "B completes " << completes << ", ends while A reads " << endsWhileAReads);
    TempDirectory root;
    const fs::path data = root.path() / "data";
    const fs::path other = root.path() / "other";
    Window a(data.string());
    a.view.seedDemoData();
    Window c(data.string());
    a.select("animal-4");
    c.select("animal-4");
    fs::create_directory(other);
    testing::copyFilesInto(data, other);
    DirectoryView b(other.string());
    ASSERT_TRUE(b.saveRecord("", "customer", "Otter", "", "", false));
    ASSERT_TRUE(b.saveRecord("animal-4", "animal", "Juniper B", kJuniper.detail, kJuniper.owner, false));
    fs::copy_file(other / "store.corvane", data / "store.wal.corvane");
    std::unique_ptr<runtime::FileSystem::Lock> held = store::lockStoreDirectory(data.string());
    const auto bEnds = [&, completes = completes] {
      if (completes) fs::rename(data / "store.wal.corvane", data / "store.corvane");
      fs::remove(data / "store.wal.corvane");
      held.reset();
    };
    testing::HookedFileSystem busy;  // B ends at A's first attempt at the lock
    busy.refusedLock = runtime::FileSystem::LockAttempt::kBusy;
    busy.hook = [&](std::string_view operation, std::string_view) {
      return operation != "lock" || !fs::exists(data / "store.wal.corvane") || (bEnds(), false);
    };
    for (Window* w : {&a, &c}) {
      std::optional<runtime::ScopedFileSystem> scoped;
      if (endsWhileAReads) held.reset(), scoped.emplace(busy);
      applyWindowFocus(w->state, w->view, false);
      applyWindowFocus(w->state, w->view, true);
      EXPECT_EQ(w->view.status(), endsWhileAReads ? "Saved animal-5" : kStatusStoreBeingWritten);
      EXPECT_EQ(w->view.database.records.size(), 5u);  // no Otter
      EXPECT_EQ(w->state.nameText, "Juniper");
      if (endsWhileAReads) break;
    }
    if (endsWhileAReads) continue;
    c.state.ownerText = "customer-1";
    c.click(kSaveButton);
    EXPECT_EQ(c.view.status(), "Not saved; another program is writing the store");
    a.state.detailText = "Dog / A";
    a.view.beforeCommit = bEnds;
    a.click(kSaveButton);
    EXPECT_EQ(a.view.status(), "Not saved; another program is writing the store");
    a.view.beforeCommit = [&c] {
      c.click(kSaveButton);
      EXPECT_EQ(c.view.status(), "Saved animal-4");
    };
    a.click(kSaveButton);
    EXPECT_EQ(a.view.status(), kStatusCommitFailed);
    a.click(kSaveButton);
    EXPECT_EQ(a.view.status(), "Saved animal-4");
    const Window check(data.string());
    EXPECT_EQ(check.stored("animal-4"), (RecordFields{completes ? "Juniper B" : "Juniper", "Dog / A", "customer-1"}));
    EXPECT_EQ(check.view.database.records.size(), completes ? 6u : 5u);
  }
}

TEST(TwoWindows, AKeptSaveIsTheStoresStateForEveryWindow) {
  // A keeps a new animal "KeptA" in a write-ahead file that cannot be moved into place: the
  // snapshot file cannot be replaced, or the next file does not fit on the disk. B edits Juniper
  // or saves a new "KeptB": refused while the trouble lasts (also when A's save lands between B's
  // reading and B's commit), and saved onto A's record once it is over. A's status then says
  // saved, and A's next save stays on A's record. A save of A's refused meanwhile, and B's
  // refusal, give way at the next focus once another program's open moved the file into place:
  // A's to "Ready", not to "Saved" of the save its refused one followed.
  enum class Fault { kSnapshotFixed, kNextFileRefused };
  struct Row {
    const char* name;
    Fault fault;
    bool aInBetween;        // A's save lands between B's reading and B's commit
    bool bNew;              // B saves a new "KeptB" rather than Juniper's detail
    bool liftFirst;         // the trouble is over before B saves
    bool aRefused = false;  // A saves again while the trouble lasts; then another program's open moves the file
  };
  const Row rows[] = {
      {"snapshot file fixed, B edits Juniper", Fault::kSnapshotFixed, false, false, false},
      {"snapshot file fixed, lifted before B saves", Fault::kSnapshotFixed, false, false, true},
      {"snapshot file fixed, both keep a new record", Fault::kSnapshotFixed, false, true, false},
      {"snapshot file fixed, A's save between B's reading and commit", Fault::kSnapshotFixed, true, true, false},
      {"next file does not fit, B edits Juniper", Fault::kNextFileRefused, false, false, false},
      {"next file does not fit, A's save between B's reading and commit", Fault::kNextFileRefused, true, false, false},
      {"snapshot file fixed, A refused too, another program's open moves it", Fault::kSnapshotFixed, false, false,
       false, true},
  };
  const auto focus = [](Window& w) {
    applyWindowFocus(w.state, w.view, false);
    applyWindowFocus(w.state, w.view, true);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDirectory dir;
    Window a(dir.text());
    a.view.seedDemoData();
    Window b(dir.text());
    b.select("animal-4");
    bool fault = true;
    testing::HookedFileSystem hooked;
    const runtime::ScopedFileSystem scoped(hooked);
    hooked.hook = [&](std::string_view operation, std::string_view path) {
      if (!fault) return true;
      if (row.fault == Fault::kSnapshotFixed) return !(operation == "replace" && path.ends_with("/store.corvane"));
      if (operation != "write" || !path.ends_with("store.next.corvane")) return true;
      runtime::noteWriteFailure(runtime::WriteFailure::kNoRoom);
      return false;
    };
    // What each window says while the trouble lasts: its cause, as the file system gave it.
    const bool noRoom = row.fault == Fault::kNextFileRefused;
    const std::string why =
        noRoom ? "no room on the disk for the store file" : "the store file could not be replaced yet";
    const std::string savesWait = noRoom ? "Last save kept; saves wait for room on the disk" : kStatusSavesWait;
    const auto aKeeps = [&a, why] {
      a.click(kNewRecordButton);
      a.state.nameText = "KeptA";
      a.click(kSaveButton);
      ASSERT_EQ(a.view.status(), "Kept animal-6; " + why);
    };
    if (row.aInBetween) {
      b.view.beforeCommit = aKeeps;
    } else {
      aKeeps();
      focus(b);
      EXPECT_GE(store::findRecordIndex(b.view.database, "animal-6"), 0) << "B does not list A's kept record";
      EXPECT_EQ(b.view.status(), savesWait);
      EXPECT_EQ(Window(dir.text()).view.status(), savesWait);  // a program started now
    }
    if (row.bNew) {
      b.click(kNewRecordButton);
      b.state.nameText = "KeptB";
    } else {
      b.state.detailText = "Dog / B";
    }
    fault = !row.liftFirst;
    b.click(kSaveButton);
    if (!row.liftFirst) {
      EXPECT_EQ(b.view.status(), "Not saved; " + why);
      EXPECT_EQ(b.state.selectedId(), row.bNew ? "" : "animal-4");
      if (row.aRefused) {
        a.click(kSaveButton);
        EXPECT_EQ(a.view.status(), "Not saved; " + why);
      }
      fault = false;
      if (row.aRefused) {
        const DirectoryView other(dir.text());
        focus(b);
        EXPECT_EQ(b.view.status(), kStatusReady);
      }
      b.click(kSaveButton);
    }
    const char* const bId = row.bNew ? "animal-7" : "animal-4";
    EXPECT_EQ(b.view.status(), std::string("Saved ") + bId);

    focus(a);
    // Its own refused save of the record may still be in the form: that refusal is not "Saved".
    EXPECT_EQ(a.view.status(), row.aRefused ? kStatusReady : "Saved animal-6");
    EXPECT_EQ(formFieldsOf(a.state).name, "KeptA");
    a.state.detailText = "A's note";
    a.click(kSaveButton);
    EXPECT_EQ(a.view.status(), "Saved animal-6");
    const Window check(dir.text());
    EXPECT_EQ(check.view.database.records.size(), row.bNew ? 7u : 6u);
    EXPECT_EQ(check.stored("animal-6"), (RecordFields{"KeptA", "A's note", "customer-1", false}));
    const RecordFields bSaved = row.bNew ? RecordFields{"KeptB", "", "customer-2", false}
                                         : RecordFields{"Juniper", "Dog / B", "customer-2", false};
    EXPECT_EQ(check.stored(bId), bSaved);
  }
}

TEST(TwoWindows, ASaveKeptWhileAnotherProgramHoldsTheLockAtItsReadBackIsKept) {
  // The snapshot file cannot be replaced, and from the commit's whole write-ahead file on another
  // program holds the directory's lock (a second window's save meeting the kept file, say): the
  // read-back takes nothing. A new record and an edit are kept and listed. Once the holder ends, a
  // focus finds the file in place, or the next save reads it: saved, and no conflict with the
  // window's own save.
  for (const bool isNew : {true, false}) {
    for (const bool focusFirst : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "new " << isNew << ", focus first " << focusFirst);
      TempDirectory dir;
      Window w(dir.text());
      w.view.seedDemoData();
      isNew ? w.click(kNewRecordButton) : w.select("animal-3");
      w.state.nameText = "Peper";
      testing::HookedFileSystem hooked;
      const runtime::ScopedFileSystem scoped(hooked);
      hooked.refusedLock = runtime::FileSystem::LockAttempt::kBusy;
      bool walWritten = false;
      hooked.hook = [&walWritten](std::string_view operation, std::string_view path) {
        walWritten = walWritten || (operation == "written" && path.ends_with("store.wal.corvane"));
        return !(operation == "replace" && path.ends_with("/store.corvane")) && !(walWritten && operation == "lock");
      };
      w.click(kSaveButton);
      const std::string id = isNew ? "animal-6" : "animal-3";
      EXPECT_EQ(w.view.status(), "Kept " + id + "; another program is writing the store");
      EXPECT_EQ(w.state.selectedId(), id);
      EXPECT_EQ(w.stored(id).name, "Peper");
      hooked.hook = nullptr;
      if (focusFirst) {
        applyWindowFocus(w.state, w.view, false);
        applyWindowFocus(w.state, w.view, true);
        EXPECT_EQ(w.view.status(), "Saved " + id);
      }
      w.state.detailText = "Dog / again";
      w.click(kSaveButton);
      EXPECT_EQ(w.view.status(), "Saved " + id);
      EXPECT_EQ(storedIn(dir.text(), id), (RecordFields{"Peper", "Dog / again", "customer-1", false}));
    }
  }
}

TEST(TwoWindows, TheBaseAfterASaveIsWhatThisWindowWroteAndTheStoreHeldAfterIt) {
  // Another program saves right after this window's commit, before the window reads the store
  // back: its rename shows in the form at once and stays through this window's next save.
  TwoWindowsOn on("animal-3");
  TempDirectory& dir = on.dir;
  Window& a = on.a;
  Window& b = on.b;
  testing::HookedFileSystem hooked;
  const runtime::ScopedFileSystem scoped(hooked);
  bool committed = false;
  hooked.hook = [&](std::string_view operation, std::string_view path) {
    committed = committed || (operation == "sync" && path.ends_with("store.next.corvane"));
    if (committed && operation == "exists") {
      hooked.hook = nullptr;
      a.state.nameText = "Mochi A";
      a.click(kSaveButton);
      EXPECT_EQ(a.view.status(), "Saved animal-3");
    }
    return true;
  };
  b.state.detailText = "Cat / B";
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Saved animal-3");
  EXPECT_EQ(formFieldsOf(b.state), (RecordFields{"Mochi A", "Cat / B", "customer-1", false}));
  b.state.ownerText = "customer-2";
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Saved animal-3");
  EXPECT_EQ(storedIn(dir.text(), "animal-3"), (RecordFields{"Mochi A", "Cat / B", "customer-2", false}));
}

TEST(TwoWindows, OnlyAClickMadeAfterTheConflictShowedKeepsTheUsersText) {
  // A saves Mochi's detail, B has typed another: B clicks a button at the given times, from 1000 ms,
  // all in one frame or each in its own frame, the frame that first showed B's conflict drawn at
  // `drawnAt`. Presses each within 500 ms and 4 px of the one before are one burst, which acts
  // once; a burst keeps B's text when it starts 500 ms or more after the status was drawn. A's
  // detail is too long for the status, which shows it from the word where B's text departs.
  struct Row {
    const char* name;
    Rect button;
    std::vector<std::uint32_t> presses;
    bool framePerPress;
    std::uint32_t drawnAt;
    bool bKept;                // B's detail is stored at the end; else A's, and B's status still names it
    const char* typedOn = "";  // B types it on after the first press, then A saves another record
  };
  const Row rows[] = {
      {"a double-click on Save in one frame", kSaveButton, {1000, 1120}, false, 1010, false},
      {"a double-click on Save over two frames", kSaveButton, {1000, 1250}, true, 1010, false},
      {"a triple-click on Save", kSaveButton, {1000, 1300, 1600}, true, 1010, false},
      {"four clicks on Save", kSaveButton, {1000, 1300, 1600, 1900}, true, 1010, false},
      {"a second click queued before the status was drawn", kSaveButton, {1000, 1600}, true, 1700, false},
      {"a second click soon after the status was drawn", kSaveButton, {1000, 1550}, true, 1100, false},
      {"a click after the status was on screen", kSaveButton, {1000, 1600}, true, 1010, true},
      {"a click long after the status was on screen", kSaveButton, {1000, 3000}, true, 1010, true},
      {"B typed on, then a click long after the status", kSaveButton, {1000, 3000}, true, 1010, true, ": ears"},
      {"a double-click on Archive acts once", kArchiveButton, {1000, 1120}, true, 1010, false},
      {"a triple-click on Archive acts once", kArchiveButton, {1000, 1300, 1600}, true, 1010, false},
      {"Archive, then a deliberate Restore", kArchiveButton, {1000, 1900}, true, 1010, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TwoWindowsOn on("animal-3");
    TempDirectory& dir = on.dir;
    Window& a = on.a;
    Window& b = on.b;
    const std::string aDetail = "Cat / B: claws trimmed and filed down short";
    const std::string bDetail = "Cat / B" + std::string(row.typedOn);
    a.state.detailText = aDetail;
    a.click(kSaveButton);
    b.state.detailText = "Cat / B";
    std::vector<canvas::InputEvent> events;
    for (const std::uint32_t time : row.presses) {
      events.push_back(pressAt(row.button.x + 5, row.button.y + 5, time));
      if (row.framePerPress) b.frame(std::exchange(events, {}), true, row.drawnAt);
      if (time == row.presses.front() && *row.typedOn != '\0') {
        b.state.detailText = bDetail;
        a.select("animal-4"), a.state.nameText = "Juniper II", a.click(kSaveButton);
      }
    }
    if (!events.empty()) b.frame(std::move(events), true, row.drawnAt);
    EXPECT_EQ(storedIn(dir.text(), "animal-3"), (RecordFields{"Mochi", row.bKept ? bDetail : aDetail, "customer-1"}));
    EXPECT_EQ(b.view.status().starts_with("Other window: SPECIES / VISIT NOTE"), !row.bKept) << b.view.status();
    EXPECT_EQ(b.state.detailText, bDetail);
  }
}

TEST(TwoWindows, AReadingKeepsTypedTextAndTheConflictStatusNamesWhatIsStoredNow) {
  TwoWindowsOn on("animal-3");
  TempDirectory& dir = on.dir;
  Window& a = on.a;
  Window& b = on.b;
  const auto focusB = [&b] {
    b.frame({}, false);
    b.frame({}, true);
  };
  const auto aSaves = [&a](const char* detail) {
    a.frame({}, false);
    a.frame({}, true);  // A reads B's saves before typing
    a.state.detailText = detail;
    a.click(kSaveButton);
    ASSERT_EQ(a.view.status(), "Saved animal-3");
  };
  // B typed what A then saves (agreed), and A puts the old text back: B's text stays, and B's save
  // stops at the conflict instead of writing A's text under B's.
  b.state.detailText = "Cat / dental";
  aSaves("Cat / dental");
  focusB();
  aSaves("Cat / annual wellness");
  focusB();
  EXPECT_EQ(b.state.detailText, "Cat / dental");
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Other window: SPECIES / VISIT NOTE\n\"Cat / annual wellness\"; Save keeps yours");
  // A saves the detail again while B's status is up: B's reading names the new value.
  aSaves("Cat / A again");
  focusB();
  EXPECT_EQ(b.view.status(), "Other window: SPECIES / VISIT NOTE\n\"Cat / A again\"; Save keeps yours");
  b.click(kSaveButton);
  EXPECT_EQ(b.view.status(), "Saved animal-3");
  EXPECT_EQ(storedIn(dir.text(), "animal-3").detail, "Cat / dental");
  // A saves what B has: agreed, the status ends.
  b.state.detailText = "Cat / B";
  aSaves("Cat / A");
  b.click(kSaveButton);
  ASSERT_TRUE(b.view.status().starts_with("Other window"));
  aSaves("Cat / B");
  focusB();
  EXPECT_EQ(b.view.status(), "Ready");
}

TEST(TwoWindows, OneFramesClicksSeeTheListAsItWouldBeDrawn) {
  // The list scrolled by one; the search box clicked, "o" typed and the first row clicked, in one
  // frame or in three: the same record.
  for (const bool oneFrame : {true, false}) {
    SCOPED_TRACE(oneFrame ? "one frame" : "three frames");
    TempDirectory dir;
    Window w(dir.text());
    w.view.seedDemoData();
    w.frame({}, true);
    w.state.scroll = 1;
    w.frame({}, true);
    std::vector<canvas::InputEvent> events{pressOn(kSearchBox), typedText("o"), pressOn(listRow(0))};
    if (oneFrame) {
      w.frame(events, true);
    } else {
      for (canvas::InputEvent& event : events) w.frame({std::move(event)}, true);
    }
    EXPECT_EQ(w.state.selectedId(), "animal-3");  // Mochi, first of Mochi and Clover
  }
}

TEST(TwoWindows, SeedingSavesThroughTheDerivedViewsSave) {
  TempDirectory dir;
  InterruptedView view(dir.text());
  DirectoryView& base = view;
  base.seedDemoData();
  EXPECT_EQ(view.saves, 5);
  EXPECT_EQ(view.database.records.size(), 5u);
  base.seedDemoData();  // records stored: no save
  EXPECT_EQ(view.saves, 5);
}

}  // namespace
}  // namespace app
