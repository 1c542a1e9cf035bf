#include "app/directory_view.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "app/record_fields.hpp"
#include "app/screen_actions.hpp"
#include "directory_files.hpp"
#include "input_events.hpp"
#include "refusing_file_system.hpp"
#include "runtime/files.hpp"
#include "runtime/testing/temp_directory.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/snapshot_codec.hpp"
#include "store/store_state.hpp"

namespace app {
namespace {

using runtime::testing::TempDirectory;

runtime::Bytes fileBytes(const std::string& path) { return runtime::readFileBytes(path, 1 << 23); }

const store::Record& recordOf(const DirectoryView& view, const std::string& id) {
  const std::int32_t index = store::findRecordIndex(view.database, id);
  EXPECT_GE(index, 0) << id;
  return view.database.records.at(static_cast<std::size_t>(index < 0 ? 0 : index));
}

TEST(DirectoryView, OpensAFreshDirectoryReadyAndEmpty) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  EXPECT_EQ(view.status(), "Ready");
  EXPECT_EQ(view.lastSavedId, "");
  EXPECT_TRUE(view.database.store.ok);
  EXPECT_TRUE(view.database.records.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.text("store.corvane")));
}

TEST(DirectoryView, SeedsFiveDemoRecordsWithOwnerEdges) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  ASSERT_EQ(view.database.records.size(), 5u);
  const char* ids[] = {"customer-1", "customer-2", "animal-3", "animal-4", "animal-5"};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(view.database.records[i].id, ids[i]);
  EXPECT_EQ(view.status(), "Saved animal-5");
  EXPECT_EQ(view.lastSavedId, "animal-5");
  EXPECT_EQ(view.database.store.sequence, 5);

  const store::Record& mochi = recordOf(view, "animal-3");
  EXPECT_EQ(mochi.content, "Mochi");
  EXPECT_EQ(mochi.kind, "animal");
  EXPECT_EQ(mochi.tenant, "oreb-demo");
  EXPECT_EQ(mochi.space, "clinic");
  EXPECT_EQ(mochi.container, "directory");
  EXPECT_EQ(mochi.created, 1);
  EXPECT_EQ(mochi.updated, 4);  // the third commit: sequence 2 at the call, plus 2
  EXPECT_EQ(mochi.expires, 0);
  EXPECT_EQ(mochi.classification, "public");
  EXPECT_EQ(mochi.lifecycle, "canonical");
  EXPECT_EQ(mochi.purpose, "demo");
  ASSERT_EQ(mochi.properties.size(), 2u);
  EXPECT_EQ(mochi.properties[0].key, "detail");
  EXPECT_EQ(mochi.properties[0].value, "Cat / annual wellness");
  EXPECT_EQ(mochi.properties[1].key, "owner");
  EXPECT_EQ(mochi.properties[1].value, "customer-1");
  EXPECT_EQ(mochi.provenance, std::vector<std::string>{"synthetic:oreb-template"});
  EXPECT_TRUE(mochi.permissions.empty());
  EXPECT_TRUE(mochi.vector.empty());

  const store::Record& customer = recordOf(view, "customer-1");
  EXPECT_EQ(customer.kind, "customer");
  EXPECT_NE(store::recordProperty(customer, "detail").find('@'), std::string::npos);
  ASSERT_EQ(customer.properties.size(), 2u);
  EXPECT_EQ(store::recordProperty(customer, "owner"), "");

  ASSERT_EQ(view.database.edges.size(), 3u);
  const char* owners[] = {"customer-1", "customer-2", "customer-1"};
  for (std::size_t i = 0; i < 3; ++i) {
    const store::Edge& edge = view.database.edges[i];
    EXPECT_EQ(edge.id, "owner-animal-" + std::to_string(i + 3));
    EXPECT_EQ(edge.from, "animal-" + std::to_string(i + 3));
    EXPECT_EQ(edge.to, owners[i]);
    EXPECT_EQ(edge.kind, "owned-by");
    EXPECT_EQ(edge.tenant, "oreb-demo");
    EXPECT_EQ(edge.created, 1);
    EXPECT_TRUE(edge.properties.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir.text("store.wal.corvane")));
  EXPECT_FALSE(std::filesystem::exists(dir.text("store.next.corvane")));
}

TEST(DirectoryView, SeedingDoesNothingOnAStoredOrUnopenedDatabase) {
  TempDirectory dir;
  {
    DirectoryView view(dir.text());
    ASSERT_TRUE(view.saveRecord("customer-9", "customer", "Only one", "", "", false));
  }
  DirectoryView stored(dir.text());
  stored.seedDemoData();
  EXPECT_EQ(stored.database.records.size(), 1u);
  EXPECT_EQ(stored.status(), "Ready");

  std::ofstream(dir.text("plain-file")) << "not a directory";
  DirectoryView unavailable(dir.text("plain-file"));
  EXPECT_EQ(unavailable.status(), "database directory is unavailable");
  unavailable.seedDemoData();
  EXPECT_TRUE(unavailable.database.records.empty());
  EXPECT_EQ(unavailable.status(), "database directory is unavailable");

  // The first save is not kept, the later ones could be: the seeding stops there all the same.
  testing::RefusingFileSystem refusing("store.wal.corvane", 1);
  const runtime::ScopedFileSystem scoped(refusing);
  DirectoryView refused(dir.text("refused"));
  refused.seedDemoData();
  EXPECT_TRUE(refused.database.records.empty());
  EXPECT_EQ(refused.status(), kStatusCommitFailed);
}

TEST(DirectoryView, RefusalsWriteNothing) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  ASSERT_TRUE(view.saveRecord("customer-2", "customer", "Archived owner", "", "", true));
  const runtime::Bytes before = fileBytes(dir.text("store.corvane"));
  const std::int32_t sequence = view.database.store.sequence;
  const std::string lastSaved = view.lastSavedId;

  struct Case {
    const char* id;
    const char* kind;
    const char* name;
    const char* owner;
    const char* status;
  };
  const Case cases[] = {
      {"animal-3", "animal", "", "customer-1", "A name is required"},
      {"bad", "animal", "Unknown owner", "missing", "Enter an existing customer ID"},
      {"", "animal", "No owner", "", "Enter an existing customer ID"},
      {"", "animal", "Owned by an animal", "animal-4", "Choose an active customer"},
      {"", "animal", "Owned by an archived customer", "customer-2", "Choose an active customer"},
      {"", "animal", "Owned by itself", "animal-9", "Enter an existing customer ID"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(view.saveRecord(c.id, c.kind, c.name, "detail", c.owner, false)) << c.name;
    EXPECT_EQ(view.status(), c.status) << c.name;
    EXPECT_EQ(view.lastSavedId, lastSaved);
  }
  EXPECT_EQ(view.database.store.sequence, sequence);
  EXPECT_EQ(fileBytes(dir.text("store.corvane")), before);
  EXPECT_EQ(store::findRecordIndex(view.database, "bad"), -1);
}

TEST(DirectoryView, ValidationRefusalsKeepTheLastSavedId) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  EXPECT_FALSE(view.saveRecord("animal-3", "animal", "Mochi", std::string(65537, 'd'), "customer-1", false));
  EXPECT_EQ(view.status(), "Record validation failed");
  EXPECT_EQ(view.lastSavedId, "animal-5");
  // A 251-byte id passes the record rules but its edge id "owner-" + id is too long.
  EXPECT_FALSE(view.saveRecord(std::string(251, 'a'), "animal", "Long", "", "customer-1", false));
  EXPECT_EQ(view.status(), "Relationship validation failed");
  EXPECT_EQ(view.database.records.size(), 5u);
  // The same id as a customer needs no edge and is stored.
  EXPECT_TRUE(view.saveRecord(std::string(251, 'a'), "customer", "Long", "", "", false));
}

TEST(DirectoryView, SavingAnExistingIdReplacesTheRecordAndItsEdge) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  ASSERT_TRUE(view.saveRecord("animal-3", "animal", "Mochi", "Cat / visit complete", "customer-2", true));
  EXPECT_EQ(view.status(), "Saved animal-3");
  EXPECT_EQ(view.lastSavedId, "animal-3");
  EXPECT_EQ(view.database.records.size(), 5u);
  ASSERT_EQ(view.database.edges.size(), 3u);
  const store::Record& mochi = recordOf(view, "animal-3");
  EXPECT_EQ(mochi.lifecycle, "archival");
  EXPECT_EQ(mochi.created, 1);
  EXPECT_EQ(mochi.updated, 7);
  EXPECT_EQ(view.database.edges[0].to, "customer-2");

  // An archived animal may be saved again, and saving without the flag restores it.
  ASSERT_TRUE(view.saveRecord("animal-3", "animal", "Mochi", "Cat", "customer-1", false));
  EXPECT_EQ(recordOf(view, "animal-3").lifecycle, "canonical");

  // A customer gets no edge but keeps its owner text; another kind may take over an id.
  ASSERT_TRUE(view.saveRecord("customer-1", "customer", "Renamed", "mail", "customer-2", false));
  EXPECT_EQ(store::recordProperty(recordOf(view, "customer-1"), "owner"), "customer-2");
  EXPECT_EQ(view.database.edges.size(), 3u);
  ASSERT_TRUE(view.saveRecord("animal-4", "customer", "Now a customer", "", "", false));
  EXPECT_EQ(recordOf(view, "animal-4").kind, "customer");
}

TEST(DirectoryView, NewIdsCountTheRecordsAndSkipIdsInUse) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  ASSERT_TRUE(view.saveRecord("", "animal", "Pepper", "Dog", "customer-1", false));
  EXPECT_EQ(view.lastSavedId, "animal-6");
  EXPECT_EQ(view.status(), "Saved animal-6");
  ASSERT_TRUE(view.saveRecord("", "customer", "Ada", "ada@example.test", "", false));
  EXPECT_EQ(view.lastSavedId, "customer-7");

  // With one stored record named customer-2, the count alone would give customer-2 again and
  // overwrite it.
  TempDirectory other;
  DirectoryView gap(other.text());
  ASSERT_TRUE(gap.saveRecord("customer-2", "customer", "First", "", "", false));
  ASSERT_TRUE(gap.saveRecord("", "customer", "Second", "", "", false));
  EXPECT_EQ(gap.lastSavedId, "customer-3");
  EXPECT_EQ(recordOf(gap, "customer-2").content, "First");
  EXPECT_EQ(gap.database.records.size(), 2u);
}

TEST(DirectoryView, NewIdsSkipRecordsThatOpeningLeftOut) {
  TempDirectory dir;
  {
    DirectoryView view(dir.text());
    view.seedDemoData();
  }
  {
    // Store a sixth record whose keys fail validation, so opening skips it.
    store::Database database = store::openDatabase(dir.text());
    ASSERT_TRUE(store::storePut(database.store, "record/animal-6/id", "animal-6"));
    ASSERT_TRUE(store::storePut(database.store, "record/animal-6/content", "Kept"));
    ASSERT_TRUE(store::storePut(database.store, "catalog/records/5", "animal-6"));
    ASSERT_TRUE(store::storePut(database.store, "catalog/records/count", "6"));
    ASSERT_TRUE(store::commitStore(database.store));
  }
  DirectoryView view(dir.text());
  ASSERT_EQ(view.database.records.size(), 5u);
  ASSERT_TRUE(view.saveRecord("", "animal", "Newcomer", "", "customer-1", false));
  EXPECT_EQ(view.lastSavedId, "animal-7");
  EXPECT_EQ(store::storeGet(view.database.store, "record/animal-6/content").value, "Kept");
}

TEST(DirectoryView, AFailedCommitReopensWhatIsStored) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  const runtime::Bytes before = fileBytes(dir.text("store.corvane"));
  {
    testing::RefusingFileSystem refusing("store.wal.corvane");
    runtime::ScopedFileSystem scoped(refusing);
    const SaveOutcome outcome = view.saveRecord("", "animal", "Pepper", "Dog", "customer-1", false);
    EXPECT_EQ(outcome.result, SaveResult::kNotKept);
    EXPECT_FALSE(outcome.writeAheadLeft);  // no write-ahead file: nothing a later open could take
  }
  EXPECT_EQ(view.status(), "Commit failed; reopened saved records");
  EXPECT_EQ(view.lastSavedId, "");
  EXPECT_EQ(view.database.records.size(), 5u);
  EXPECT_EQ(view.database.store.sequence, 5);
  EXPECT_TRUE(view.database.store.ok);
  EXPECT_EQ(fileBytes(dir.text("store.corvane")), before);
  // The next save works again.
  EXPECT_TRUE(view.saveRecord("", "animal", "Pepper", "Dog", "customer-1", false));
  EXPECT_EQ(view.lastSavedId, "animal-6");
}

TEST(DirectoryView, ACommitReportedFailedButPromotedOnReopenIsReportedSaved) {
  // The write-ahead file is complete, the promotion of the commit fails; the reopen promotes it.
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  struct Step {
    const char* id;
    bool archived;
  };
  for (const Step& step : {Step{"", false}, Step{"animal-6", true}, Step{"animal-6", false}}) {
    testing::RefusingFileSystem refusing("store.next.corvane", 1);
    runtime::ScopedFileSystem scoped(refusing);
    EXPECT_TRUE(view.saveRecord(step.id, "animal", "Pepper", "Dog", "customer-1", step.archived)) << view.status();
    EXPECT_EQ(view.status(), "Saved animal-6");
    EXPECT_EQ(view.lastSavedId, "animal-6");
    EXPECT_EQ(recordOf(view, "animal-6").lifecycle, step.archived ? "archival" : "canonical");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.text("store.wal.corvane")));
  EXPECT_EQ(view.database.records.size(), 6u);  // saved once, then updated: no duplicate
  EXPECT_EQ(view.database.edges.size(), 4u);
  EXPECT_EQ(view.database.store.sequence, 8);
}

TEST(DirectoryView, AFailedCommitIsNotReportedSavedByARecordAlreadyStoredAlike) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  testing::RefusingFileSystem refusing("store.wal.corvane");
  runtime::ScopedFileSystem scoped(refusing);
  // animal-3 is stored with exactly these fields already; nothing new reached the disk.
  EXPECT_FALSE(view.saveRecord("animal-3", "animal", "Mochi", "Cat / annual wellness", "customer-1", false));
  EXPECT_EQ(view.status(), "Commit failed; reopened saved records");
  EXPECT_EQ(view.lastSavedId, "");
}

TEST(DirectoryView, ASavesRecordIsTheOneWithItsIdKindFieldsAndUpdateTime) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  const store::Record& mochi = recordOf(view, "animal-3");
  const WrittenRecord asStored{mochi.id, mochi.kind, recordFieldsOf(mochi), mochi.updated};
  struct Row {
    const char* name;
    void (*change)(WrittenRecord&);
    bool held;
  };
  const Row rows[] = {
      {"as written", [](WrittenRecord&) {}, true},
      {"another update time", [](WrittenRecord& w) { ++w.updated; }, false},
      {"another detail", [](WrittenRecord& w) { w.fields.detail += "!"; }, false},
      {"archived", [](WrittenRecord& w) { w.fields.archived = true; }, false},
      {"another kind", [](WrittenRecord& w) { w.kind = "customer"; }, false},
      {"another id", [](WrittenRecord& w) { w.id = "animal-9"; }, false},
  };
  for (const Row& row : rows) {
    WrittenRecord written = asStored;
    row.change(written);
    EXPECT_EQ(holdsWritten(view.database, written), row.held) << row.name;
  }

  // Another program saves under the new record's id between this commit, reported failed after
  // its write-ahead file, and the read back: the id holds other content, and the save is not kept.
  testing::HookedFileSystem hooked;
  const runtime::ScopedFileSystem scoped(hooked);
  bool failed = false;
  hooked.hook = [&](std::string_view operation, std::string_view path) {
    if (operation == "write" && path.ends_with("store.next.corvane")) return !(failed = true);
    if (failed && operation == "exists") {
      hooked.hook = nullptr;
      DirectoryView other(dir.text());
      EXPECT_TRUE(other.saveRecord("animal-6", "animal", "Pepper", "Dog / other", "customer-1", false));
    }
    return true;
  };
  const SaveOutcome outcome = view.saveRecord("", "animal", "Pepper", "Dog", "customer-1", false);
  EXPECT_EQ(outcome.result, SaveResult::kNotKept);
  EXPECT_TRUE(outcome.writeAheadLeft);
  EXPECT_EQ(outcome.written.id, "animal-6");
  EXPECT_EQ(view.status(), kStatusCommitFailed);
}

TEST(DirectoryView, AFirstSaveRefusedByAnotherHoldersLockIsNotReportedSaved) {
  // An empty store: the reopen after the refused commit reads no snapshot either, as an absent
  // write-ahead file reads; nothing this save wrote is there, and the status says who held it.
  // The holder's commit is in flight, its whole write-ahead file written: the read-back takes
  // nothing, and the list stays as read, without the record not saved.
  // Without that file, the Save click gives the window the focus: the status is the save's.
  TempDirectory dir;
  DirectoryView view(dir.text());
  ASSERT_TRUE(DirectoryView(dir.text("other")).saveRecord("customer-1", "customer", "Otter", "", "", false));
  DirectoryScreenState state;
  state.kind = "customer";
  state.nameText = "Ada";
  for (const bool inFlight : {false, true}) {
    SCOPED_TRACE(inFlight ? "the holder's commit in flight" : "no write-ahead file");
    const auto otherHolder = store::lockStoreDirectory(dir.text());
    ASSERT_NE(otherHolder, nullptr);
    if (inFlight) {  // after the view's reading, before its commit
      std::filesystem::copy_file(dir.text("other/store.corvane"), dir.text("store.wal.corvane"));
      EXPECT_FALSE(view.saveRecord("customer-1", "customer", "Ada", "", "", false));
    } else {
      applyFrameInput(state, view, FrameInput{{pressOn(kSaveButton)}, true});
    }
    EXPECT_EQ(view.status(), "Not saved; another program is writing the store");
    EXPECT_EQ(view.lastSavedId, "");
    EXPECT_TRUE(view.database.records.empty());
  }
}

TEST(DirectoryView, AnUnavailableDirectoryRefusesSavesWithItsMessage) {
  TempDirectory dir;
  std::ofstream(dir.text("plain-file")) << "x";
  DirectoryView view(dir.text("plain-file"));
  EXPECT_FALSE(view.saveRecord("customer-1", "customer", "Name", "", "", false));
  EXPECT_EQ(view.status(), "database directory is unavailable");
  EXPECT_FALSE(view.saveRecord("customer-1", "customer", "", "", "", false));
  EXPECT_EQ(view.status(), "A name is required");
  EXPECT_FALSE(view.saveRecord("customer-1", "customer", "Name", "", "", false));  // the same failure again
  EXPECT_EQ(view.status(), "database directory is unavailable");

  // A new directory where no file may be made, the lock file first, or where the disk has room
  // for the lock file only: the seeding stops at its first save, and every status names the
  // cause, also after a reading, as at the first focus.
  for (const bool noRoom : {false, true}) {
    testing::HookedFileSystem denied;
    denied.hook = [noRoom](std::string_view operation, std::string_view) {
      if (operation != "write" && (noRoom || operation != "lock")) return true;
      runtime::noteWriteFailure(noRoom ? runtime::WriteFailure::kNoRoom : runtime::WriteFailure::kNoPermission);
      return false;
    };
    const runtime::ScopedFileSystem scoped(denied);
    DirectoryView fresh(dir.text(noRoom ? "full" : "fresh"));
    fresh.seedDemoData();
    const char* const notSaved = noRoom ? "Not saved; no room on the disk for the store file"
                                        : "Not saved; no permission to write the store file";
    EXPECT_EQ(fresh.status(), notSaved);
    fresh.reloadIfChanged();
    EXPECT_EQ(fresh.status(), notSaved);
    EXPECT_FALSE(fresh.saveRecord("customer-1", "customer", "Name", "", "", false));
    EXPECT_EQ(fresh.status(), notSaved);
  }
}

TEST(DirectoryView, ADirectoryWhereTheLockFileCannotBeMadeSaysWhyFromTheStart) {
  // A directory this user may not write (root may: skipped; scripts/test-unwritable-directory.sh
  // runs it as another user): the lock file is the first file a save makes. Where it was made
  // while the directory could be written, the lock is had and the store file's write refused: the
  // refusal stays at a focus, also in the frame where the Save click gave the window the focus.
  namespace fs = std::filesystem;
  TempDirectory dir;
  DirectoryView(dir.text("locked")).seedDemoData();
  for (const fs::path& path : {dir.path() / "locked", dir.path()}) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
  }
  const bool writable = std::ofstream(dir.text("probe")).is_open();
  if (writable) GTEST_SKIP() << "files can be made in a read-only directory here";
  const char* const noPermission = "Not saved; no permission to write the store file";
  DirectoryView view(dir.text());
  view.seedDemoData();
  EXPECT_EQ(view.status(), noPermission);
  DirectoryView locked(dir.text("locked"));
  DirectoryScreenState state;
  state.nameText = "Pepper";
  applyFrameInput(state, locked, FrameInput{{pressOn(kSaveButton)}, true});
  EXPECT_EQ(locked.status(), noPermission);
  applyFrameInput(state, locked, FrameInput{{}, false});
  applyFrameInput(state, locked, FrameInput{{}, true});
  EXPECT_EQ(locked.status(), noPermission);
  for (const fs::path& path : {dir.path() / "locked", dir.path()}) fs::permissions(path, fs::perms::owner_all);
}

TEST(DirectoryView, TwoViewsOnOneDirectoryNeverLoseASaveEitherReported) {
  // The program started twice on one data directory: the save of the window that did not see
  // the other's is refused, also when the other stored the very same new record under the same
  // id (this commit wrote nothing), it shows the other's records, and saved again it keeps both.
  for (const bool firstSavesFirst : {true, false}) {
    for (const char* lateName : {"Late Owner", "Early Owner"}) {
      SCOPED_TRACE(std::string(firstSavesFirst ? "first view saves first, " : "second view saves first, ") + lateName);
      TempDirectory dir;
      DirectoryView first(dir.text());
      first.seedDemoData();
      DirectoryView second(dir.text());
      ASSERT_EQ(second.database.records.size(), 5u);
      DirectoryView& early = firstSavesFirst ? first : second;
      DirectoryView& late = firstSavesFirst ? second : first;

      ASSERT_TRUE(early.saveRecord("", "customer", "Early Owner", "", "", false)) << early.status();
      EXPECT_EQ(early.status(), "Saved customer-6");
      EXPECT_FALSE(late.saveRecord("", "customer", lateName, "", "", false));
      EXPECT_EQ(late.status(), kStatusCommitFailed);
      EXPECT_EQ(late.lastSavedId, "");
      ASSERT_EQ(late.database.records.size(), 6u);
      EXPECT_EQ(recordOf(late, "customer-6").content, "Early Owner");

      ASSERT_TRUE(late.saveRecord("", "customer", lateName, "", "", false)) << late.status();
      EXPECT_EQ(late.status(), "Saved customer-7");
      const DirectoryView check(dir.text());
      ASSERT_EQ(check.database.records.size(), 7u);
      EXPECT_EQ(recordOf(check, "customer-6").content, "Early Owner");
      EXPECT_EQ(recordOf(check, "customer-7").content, lateName);
    }
  }
}

TEST(DirectoryView, ASaveKeptInAWriteAheadFileThatCannotBeMovedIntoPlaceIsReportedKept) {
  // The snapshot file cannot be replaced: the commit fails with its write-ahead file complete, and
  // the reopen cannot promote it either but reads it as the store's state, which holds the record.
  // Saves are refused until the file can be replaced; the reading before the next save then opens
  // the database (promoting the write-ahead file), and the save goes in.
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  testing::FixedSnapshotFileSystem fixed;
  runtime::ScopedFileSystem scoped(fixed);
  EXPECT_TRUE(view.saveRecord("", "animal", "Pepper", "Dog", "customer-1", false));
  EXPECT_EQ(view.status(), "Kept animal-6; the store file could not be replaced yet");
  EXPECT_EQ(view.lastSavedId, "animal-6");
  EXPECT_FALSE(view.database.store.ok);
  EXPECT_EQ(recordOf(view, "animal-6").content, "Pepper");
  EXPECT_FALSE(view.saveRecord("animal-6", "animal", "Pepper", "Dog / fixed", "customer-1", false));
  EXPECT_EQ(view.status(), "Not saved; the store file could not be replaced yet");

  fixed.refusing = false;
  EXPECT_TRUE(view.reloadIfChanged());
  ASSERT_TRUE(view.saveRecord("animal-6", "animal", "Pepper", "Dog / fixed", "customer-1", false)) << view.status();
  EXPECT_EQ(view.status(), "Saved animal-6");
  EXPECT_FALSE(std::filesystem::exists(dir.text("store.wal.corvane")));
  const DirectoryView check(dir.text());
  EXPECT_EQ(check.database.records.size(), 6u);
  EXPECT_EQ(check.database.edges.size(), 4u);
  EXPECT_EQ(store::recordProperty(recordOf(check, "animal-6"), "detail"), "Dog / fixed");
}

TEST(DirectoryView, AStoreTakenAwayIsNeverReplacedByAnEmptyOne) {
  // A store with records goes away while the view runs: no save, reopen or refresh makes a new
  // directory or snapshot, every save is refused, and the view keeps listing what it read. Put
  // back whole or file by file (the lock file first), the next refresh takes it as read.
  namespace fs = std::filesystem;
  enum Loss { kDirectoryRemoved, kDirectoryReplacedByAFile, kSnapshotRemoved };
  for (const Loss loss : {kDirectoryRemoved, kDirectoryReplacedByAFile, kSnapshotRemoved}) {
    for (const bool fileByFile : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "loss " << loss << ", file by file " << fileByFile);
      TempDirectory root;
      const fs::path data = root.path() / "data";
      const fs::path away = root.path() / "away";
      DirectoryView view(data.string());
      view.seedDemoData();
      ASSERT_TRUE(view.saveRecord("", "customer", "Sixth", "", "", false));
      fs::create_directory(away);
      testing::copyFilesInto(data, away);
      fs::remove_all(loss == kSnapshotRemoved ? data / "store.corvane" : data);
      if (loss == kDirectoryReplacedByAFile) std::ofstream(data) << "x";
      const auto expectRefused = [&] {
        EXPECT_FALSE(view.reloadIfChanged());
        EXPECT_FALSE(view.saveRecord("", "customer", "While away", "", "", false));
        EXPECT_EQ(view.status(), kStatusStoreMissing);
        EXPECT_FALSE(view.saveRecord("customer-1", "customer", "Renamed", "", "", false));
        EXPECT_EQ(view.status(), kStatusStoreMissing);
        EXPECT_FALSE(view.reloadIfChanged());
        EXPECT_EQ(view.status(), kStatusStoreMissing);
        EXPECT_EQ(view.database.records.size(), 6u);  // still listing what it read
        EXPECT_FALSE(fs::exists(data / "store.corvane") || fs::exists(data / "store.wal.corvane"));
      };
      expectRefused();
      EXPECT_EQ(fs::is_directory(data), loss == kSnapshotRemoved);
      fs::remove_all(data);
      fs::create_directory(data);
      if (fileByFile) {
        fs::copy_file(away / "store.lock.corvane", data / "store.lock.corvane");
        expectRefused();
        fs::copy_file(away / "store.corvane", data / "store.corvane");
      } else {
        testing::copyFilesInto(away, data);
      }
      EXPECT_TRUE(view.reloadIfChanged());  // the very store it read, taken again
      EXPECT_EQ(view.status(), kStatusReady);
      ASSERT_TRUE(view.saveRecord("", "customer", "After", "", "", false)) << view.status();
      EXPECT_EQ(view.status(), "Saved customer-7");
      const DirectoryView check(data.string());
      EXPECT_EQ(check.database.records.size(), 7u);
      EXPECT_EQ(recordOf(check, "customer-6").content, "Sixth");
    }
  }
}

TEST(DirectoryView, AStoreReadFromAWriteAheadFileIsMissingWhenThatFileGoes) {
  // The store's state is a write-ahead file that cannot be moved into place: kept by this view's
  // save of "W2", or read by a view started then. Taken away (the directory, or the file alone,
  // the older snapshot file staying), replaced from outside by a whole file without W2, or removed
  // while another program saves its own customer-6: the store has records missing. The view says
  // so at its focus, keeps listing W2, and refuses every save, changing no snapshot file. Put
  // back, its saves wait again, and go in once the snapshot file can be replaced.
  namespace fs = std::filesystem;
  enum Loss { kDirectory, kFile, kCopyOfSnapshot, kOfSnapshotSequence, kOlder, kRemovedThenOtherSaves };
  for (const bool startedOnIt : {false, true}) {
    for (const Loss loss : {kDirectory, kFile, kCopyOfSnapshot, kOfSnapshotSequence, kOlder, kRemovedThenOtherSaves}) {
      SCOPED_TRACE(::testing::Message() << "started on it " << startedOnIt << ", loss " << loss);
      TempDirectory root;
      const fs::path data = root.path() / "data";
      const std::string wal = (data / "store.wal.corvane").string();
      const std::string snapshot = (data / "store.corvane").string();
      const fs::path taken = loss == kDirectory ? data : fs::path(wal);
      DirectoryView(data.string()).seedDemoData();
      store::StoreState seeded = store::decodeSnapshot(fileBytes(snapshot), data.string());
      testing::FixedSnapshotFileSystem fixed;
      const runtime::ScopedFileSystem scoped(fixed);
      auto view = std::make_unique<DirectoryView>(data.string());
      ASSERT_TRUE(view->saveRecord("", "customer", "W2", "", "", false));
      if (startedOnIt) view = std::make_unique<DirectoryView>(data.string());
      fs::rename(taken, root.path() / "away");
      if (loss == kOlder) --seeded.sequence;
      if (loss == kOfSnapshotSequence) store::storePut(seeded, "note", "another state");
      if (loss == kCopyOfSnapshot || loss == kOfSnapshotSequence || loss == kOlder) {
        ASSERT_TRUE(runtime::writeFileBytes(wal, store::encodeSnapshot(seeded)));
      }
      if (loss == kRemovedThenOtherSaves) {
        fixed.refusing = false;
        DirectoryView other(data.string());
        ASSERT_TRUE(other.saveRecord("", "customer", "Otter", "", "", false));
        ASSERT_EQ(other.lastSavedId, "customer-6");
        fixed.refusing = true;
      }
      const runtime::Bytes before = loss == kDirectory ? runtime::Bytes() : fileBytes(snapshot);
      EXPECT_FALSE(view->reloadIfChanged());
      EXPECT_EQ(view->status(), kStatusStoreMissing);
      EXPECT_FALSE(view->saveRecord("", "customer", "After", "", "", false));
      EXPECT_EQ(view->status(), kStatusStoreMissing);
      EXPECT_EQ(recordOf(*view, "customer-6").content, "W2");
      EXPECT_EQ(fs::exists(data), loss != kDirectory);
      EXPECT_EQ(loss == kDirectory ? runtime::Bytes() : fileBytes(snapshot), before);

      fs::rename(root.path() / "away", taken);
      EXPECT_TRUE(view->reloadIfChanged());
      EXPECT_EQ(view->status(),
                startedOnIt ? kStatusSavesWait : "Kept customer-6; the store file could not be replaced yet");
      fixed.refusing = false;
      EXPECT_TRUE(view->reloadIfChanged());
      ASSERT_TRUE(view->saveRecord("", "customer", "After", "", "", false)) << view->status();
      const DirectoryView check(data.string());
      EXPECT_EQ(check.database.records.size(), 7u);
      EXPECT_EQ(recordOf(check, "customer-6").content, "W2");
    }
  }
}

TEST(DirectoryView, ARefreshThatReadsTheStoreAnewReplacesOnlyAStatusOfAReading) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  const runtime::Bytes stored = fileBytes(dir.text("store.corvane"));
  const runtime::Bytes garbage(40, 'g');
  // The snapshot file's bytes before each refresh (none: another window saves), and the status.
  const std::pair<const runtime::Bytes*, const char*> steps[] = {
      {&garbage, "snapshot header is invalid"},
      {&stored, "Ready"},
      {nullptr, "Saved customer-1"},  // a save's outcome stays
      {&stored, "Ready"},             // while the store holds that save as written
      {&garbage, "snapshot header is invalid"},
      {&stored, "Ready"}};
  for (const auto& [file, status] : steps) {
    SCOPED_TRACE(status);
    if (file == nullptr) {
      ASSERT_TRUE(view.saveRecord("customer-1", "customer", "Marta Q", "", "", false)) << view.status();
      ASSERT_TRUE(DirectoryView(dir.text()).saveRecord("customer-2", "customer", "Tobias W", "", "", false));
    } else {
      ASSERT_TRUE(runtime::writeFileBytes(dir.text("store.corvane"), *file));
    }
    EXPECT_EQ(view.reloadIfChanged(), file != &garbage);  // a file that does not decode takes nothing
    EXPECT_EQ(view.status(), status);
    EXPECT_EQ(view.database.records.size(), 5u);  // the list stays
  }
  // A file too large to read, met by a refresh or a save, is a store that did not open.
  ASSERT_TRUE(runtime::writeFileBytes(dir.text("store.corvane"), runtime::Bytes(5 << 20, 'x')));
  EXPECT_FALSE(view.reloadIfChanged());
  EXPECT_TRUE(view.status().starts_with("file.read.limit")) << view.status();
  EXPECT_FALSE(view.saveRecord("customer-1", "customer", "Marta", "", "", false));
  EXPECT_TRUE(view.status().starts_with("file.read.limit")) << view.status();
}

TEST(DirectoryView, EachStatusGivesWayToAReadingByTheRuleOfItsKind) {
  // One view through a series of steps, each followed by a reading as at a focus: the status after
  // it, and the list, which keeps its six records throughout.
  namespace fs = std::filesystem;
  TempDirectory dir;
  const std::string snapshot = dir.text("store.corvane");
  DirectoryView view(dir.text());
  view.seedDemoData();
  testing::HookedFileSystem hooked;
  const runtime::ScopedFileSystem scoped(hooked);
  const auto refuse = [&hooked](const char* operation) {  // a move over the snapshot file, the lock or a write
    hooked.hook = [operation](std::string_view op, std::string_view path) {
      if (op == operation && op != "replace") runtime::noteWriteFailure(runtime::WriteFailure::kNoPermission);
      return op != operation || (op == "replace" && !path.ends_with("/store.corvane"));
    };
  };
  const auto save = [&view](const char* id, const char* name) {
    view.saveRecord(id, "animal", name, "Dog", "customer-1", false);
  };
  const auto otherSaves = [&hooked, &dir] {
    hooked.hook = nullptr;
    ASSERT_TRUE(DirectoryView(dir.text()).saveRecord("customer-2", "customer", "Tobias W", "", "", false));
  };
  std::unique_ptr<runtime::FileSystem::Lock> held;  // another program's commit in flight holds the lock
  const auto otherInFlight = [&] {
    hooked.hook = nullptr;
    fs::create_directory(dir.text("other"));
    fs::copy_file(snapshot, dir.text("other/store.corvane"));
    ASSERT_TRUE(DirectoryView(dir.text("other")).saveRecord("", "customer", "Otter", "", "", false));
    fs::copy_file(dir.text("other/store.corvane"), dir.text("store.wal.corvane"));
    held = store::lockStoreDirectory(dir.text());
  };
  runtime::Bytes zeroByte = fileBytes(snapshot);  // "Clover" stored as "C\0over"
  zeroByte[std::string(zeroByte.begin(), zeroByte.end()).find("Clover") + 1] = '\0';
  store::sealSnapshot(zeroByte);
  const char* const kept = "Kept animal-6; the store file could not be replaced yet";
  const char* const noPermission = "Not saved; no permission to write the store file";
  const std::pair<std::function<void()>, const char*> steps[] = {
      {[&] { refuse("replace"), save("", "Pepper"); }, kept},
      {[&] { save("", ""); }, "A name is required"},  // a new record's: another record than the kept one
      {otherSaves, "Saved animal-6"},                 // moved into place by another program's save
      {[&] { save("", ""); }, "A name is required"},
      {otherSaves, "A name is required"},  // the save found once is not found again
      {[&] { refuse("replace"), save("animal-6", "Pepper K"); }, kept},
      {[&] { save("animal-6", "Pepper K2"); }, "Not saved; the store file could not be replaced yet"},
      {[&hooked] { hooked.hook = nullptr; }, kStatusReady},  // in place, but not "Saved": K2 was refused
      {[&] { refuse("lock"), save("animal-6", "Pepper B"); }, noPermission},
      {[] {}, noPermission},
      {[&] { refuse("write"), save("animal-6", "Pepper B"); }, noPermission},  // the lock had, the write refused
      {[&hooked] { hooked.hook = nullptr; }, noPermission},                    // nothing tells the cause is over
      {otherInFlight, noPermission},
      {[&] { fs::remove(dir.text("store.wal.corvane")), held.reset(); }, noPermission},  // given up
      {otherSaves, kStatusReady},                                                        // another program's new commit
      {[&] {
         runtime::writeFileBytes(dir.text("good"), fileBytes(snapshot)), runtime::writeFileBytes(snapshot, zeroByte);
       },
       "Text.FromUtf8 does not accept an embedded zero byte"},
      {[&] { runtime::writeFileBytes(snapshot, fileBytes(dir.text("good"))); }, kStatusReady},
      {[&] { refuse("replace"), save("animal-6", "Pepper C"); }, kept},
      {[&] { runtime::writeFileBytes(snapshot, runtime::Bytes(5 << 20, 'x')); },
       "file.read.limit"},  // beside a settled file
  };
  for (const auto& [step, status] : steps) {
    SCOPED_TRACE(status);
    step();
    view.reloadIfChanged();
    EXPECT_TRUE(view.status().starts_with(status)) << view.status();
    EXPECT_EQ(view.database.records.size(), 6u);
  }
}

TEST(DirectoryView, ARefreshReadsOnlyAChangedSnapshotOrADatabaseThatIsNotOpen) {
  TempDirectory dir;
  DirectoryView view(dir.text());
  view.seedDemoData();
  DirectoryView other(dir.text());
  EXPECT_FALSE(view.reloadIfChanged());
  EXPECT_FALSE(other.reloadIfChanged());
  ASSERT_TRUE(view.saveRecord("", "customer", "Ada", "", "", false));
  EXPECT_FALSE(view.reloadIfChanged());  // its own save
  EXPECT_EQ(other.database.records.size(), 5u);
  EXPECT_TRUE(other.reloadIfChanged());
  EXPECT_EQ(other.database.records.size(), 6u);
  EXPECT_FALSE(other.reloadIfChanged());
  EXPECT_EQ(other.status(), "Ready");

  // A database that did not open is opened again each time, until it opens.
  std::ofstream(dir.text("plain")) << "x";
  DirectoryView unopened(dir.text("plain/data"));
  EXPECT_FALSE(unopened.database.store.ok);
  EXPECT_FALSE(unopened.reloadIfChanged());  // read, and nothing taken
  EXPECT_EQ(unopened.status(), "database directory is unavailable");
  std::filesystem::remove(dir.text("plain"));
  std::filesystem::create_directory(dir.text("plain"));
  EXPECT_TRUE(unopened.reloadIfChanged());
  EXPECT_TRUE(unopened.database.store.ok);
  EXPECT_FALSE(unopened.reloadIfChanged());
}

TEST(DirectoryView, TheUpdateTimeDoesNotOverflowAtTheTopSequence) {
  TempDirectory dir;
  store::StoreState state = store::makeStoreState(dir.text());
  state.sequence = std::numeric_limits<std::int32_t>::max() - 1;
  ASSERT_TRUE(runtime::writeFileBytes(dir.text("store.corvane"), store::encodeSnapshot(state)));
  DirectoryView view(dir.text());
  ASSERT_TRUE(view.database.store.ok) << view.database.store.message;
  ASSERT_TRUE(view.saveRecord("customer-1", "customer", "Late", "", "", false)) << view.status();
  EXPECT_EQ(recordOf(view, "customer-1").updated, std::numeric_limits<std::int32_t>::max());
}

}  // namespace
}  // namespace app
