// What the directory view knows of the store, as one value, and the rule that makes the next value
// from each open of the store: at the view's start, at a later reading, and at the read-back of a
// save's commit.
#pragma once

#include <optional>

#include "app/record_fields.hpp"
#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"

namespace app {

// True when the database lists the record as the save wrote it: the same id, kind, fields and
// update time. A record another program stored alike under that id is not this save's.
bool holdsWritten(const store::Database& database, const WrittenRecord& written);

// What the latest open of the store found: how it went, and the trouble and message it told.
struct OpenFound {
  store::OpenOutcome opened = store::OpenOutcome::kOpened;
  store::StoreTrouble trouble = store::StoreTrouble::kNone;
  runtime::Text message;
  static OpenFound of(const store::StoreState& state) { return {state.opened, state.trouble, state.message}; }
};

// What the view knows of the store: the database it took from its last reading (which store, and
// from which file), whether that file is settled, what the latest reading found, the save it
// waits to find in place, and whether records are missing.
struct StoreReading {
  store::Database database;
  // The write-ahead file the database was read from, when no commit can still be writing it: read
  // under the directory's lock, or the file this window's own commit kept, or that same file read
  // again. Absent for any other reading.
  store::SnapshotIdentity settledFile;
  bool storeRead = false;  // a store with records was read: an open creates nothing
  bool missing = false;    // the store read, or records of the settled file, are gone; the database stays
  OpenFound found;         // of the latest reading, also one that took no database
  // A save reported kept, or not kept but whose whole write-ahead file was left, until a reading
  // of an open store finds it in place, or finds its id holding another record.
  std::optional<WrittenRecord> pending;
};

// Whether a reading after the first takes the database an open found. Another program's
// write-ahead file may still be given up, and a store whose files cannot be read tells nothing of
// what it holds: what was read before stays, and so does what it settled.
bool takesDatabase(store::OpenOutcome opened);

// How a reading of the store was made: the view's first, a later one (at a focus, before a save),
// or the read-back of a save's commit.
enum class ReadingOccasion { kFirst, kAgain, kSaveReadBack };

// The value after an open of the store (`opened`). After the first, an open that met another
// program's commit in flight, or that could not read the store's files, takes nothing: the
// database stays, and the reading tells what it found. Otherwise records are missing when a store
// with records was read and its files are gone, or when the database was read from a settled file
// and the open holds one of its records neither as read nor saved again later; else the open is
// taken. A store gone is taken all the same (its database empty) by a save's read-back.
StoreReading nextReading(StoreReading last, store::Database opened, ReadingOccasion occasion);

// A save's commit, as its read-back takes it: whether it went through, the whole write-ahead file
// it kept when it did not (its own: no commit writes it), the record it wrote, and what stopped it
// (kNone when it went through).
struct SaveCommit {
  bool moved = false;
  store::SnapshotIdentity keptFile;
  WrittenRecord written;
  store::StoreTrouble trouble = store::StoreTrouble::kNone;
};

// What a save's commit did with the store's files.
enum class CommitDid { kMoved, kKeptOwnFile, kKeptNothing };
CommitDid commitDid(const SaveCommit& commit);

// The reading after a save's commit: `committed` is the database the commit was put on, which
// holds its record, and `opened` the store read back. A commit that went through, or kept its own
// file, made `committed` the store's state: it is the database a read-back that takes nothing
// keeps. A failed put's database is no part of the store. A kept file is this window's settled
// file, and its save waits to be found in place; a commit that went through ends any save
// waiting. Then as nextReading.
StoreReading readBack(StoreReading last, const SaveCommit& commit, store::Database committed, store::Database opened);

// What a save came to.
enum class SaveResult {
  kSaved,      // the store holds the record as written
  kKept,       // the same, in a write-ahead file an open takes but could not move into place yet
  kRefused,    // refused before anything was written (the status says why)
  kNotKept,    // the commit failed, and the store read back does not hold the record
  kStoreGone,  // the commit failed, and the store's files had gone from the data directory
};

// What a save's read-back found.
enum class ReadBackFound {
  kTookStore,       // it took the store's state
  kLockHeld,        // it took nothing: another program holds the lock over a commit in flight
  kRecordsMissing,  // the store's files, or records it must hold, are gone
  kUnreadable,      // it took nothing: the store's files cannot be read
};
ReadBackFound readBackFound(const StoreReading& reading);

}  // namespace app
