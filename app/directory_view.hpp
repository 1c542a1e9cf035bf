// The one object between the directory screen and self-test and the durable record database:
// it opens the database, seeds the demo records, turns one form submission into a validated
// record (and, for an animal, its "owned-by" edge) committed in one batch, and reopens the
// database from disk after every commit attempt so that it always shows what is stored. Another
// program on the same directory may commit in between: the view reads its saves again when the
// snapshot file changed (reloadIfChanged), and a commit made over them is refused. A store taken
// away while the view runs is never replaced by a new, empty one.
#pragma once

#include <optional>

#include "runtime/text.hpp"
#include "store/batch.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"

namespace app {

using runtime::Text;

class DirectoryView {
 public:
  // Opens the database in the directory. The file-read runtime errors of opening pass out.
  explicit DirectoryView(Text directory);
  virtual ~DirectoryView();

  DirectoryView(const DirectoryView&) = delete;
  DirectoryView& operator=(const DirectoryView&) = delete;

  // Validates and commits the record (and an animal's owner edge), then reads the store back as
  // an open reads it (the snapshot, or a write-ahead file the open takes as the store's state even
  // where it cannot move it into place), and that reading decides: true when the commit went
  // through, or when it was reported failed after writing its write-ahead file and the store read
  // back holds the record as written under the id the save gave it (the status then says it is
  // kept, naming the store's trouble while the file cannot be moved into place). An empty id
  // makes a new one, "<kind>-<n>", from the first number not in use. A database that is not open
  // is opened again first; the save is refused with its message only when that fails too. Once a
  // store with records was read, a store whose files are gone from the data directory refuses
  // every save with kStatusStoreMissing, writing nothing. The snapshot is not read again when
  // another program changed it: such a commit is refused and the database reopened. The outcome
  // is in `status`, the saved id in `lastSavedId`, and the id of a new record whose write-ahead
  // file may still be taken by a later open in `unconfirmedId`.
  virtual bool saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records, through saveRecord, when the database is open and holds no record.
  virtual void seedDemoData();

  // Reads the database again when it is not open, or when its snapshot file is no longer the one
  // it read or last wrote (another program saved, or the file came back). Returns whether it
  // reopened. A store with records whose files went away is not read as an empty one: the view
  // keeps what it read last, and reads the files once they are back. A snapshot file that cannot
  // be read is left to the next save. The reading's status ("Ready" or the store's message)
  // replaces a status that told of an earlier reading or of the store's absence, and a failed
  // reading's message replaces any but a save's outcome that told of the same failure.
  bool reloadIfChanged();

  // The status of a save whose record the store holds: "Saved <id>", or, while the store's state
  // is a write-ahead file that could not be moved into place, that it is kept there.
  Text keptStatus(const Text& id) const;

  Text dataDirectory;
  store::Database database;  // as last opened from disk
  Text status = "Ready";     // outcome of the last construction, reading or save
  Text lastSavedId;          // id written by the last successful save
  Text unconfirmedId;        // see saveRecord; empty otherwise

 private:
  Text makeNewId(const Text& kind) const;
  // The status that refuses a save before anything is built: no name, a store gone, a database
  // that did not open, or an animal whose owner is not an active customer. None when the save may
  // go on.
  std::optional<Text> refusalBeforeSave(const Text& kind, const Text& name, const Text& owner);
  // Commits the validated batch, reads the store back and sets the status and the ids.
  bool commitBatch(const store::RecordBatch& batch, bool newRecord);
  // True when the database lists the record under its id as `record` holds it.
  bool holds(const store::Record& record) const;
  // True when a store with records was read and its files are no longer in the data directory.
  bool storeGone() const;
  // Opens the database again: creating the directory and an empty store only while no store with
  // records was read. False when the store is gone; the database read last stays when `keepWhenGone`.
  bool reopen(bool keepWhenGone);
  // Sets the status to what a reading of the store (or its absence) says.
  void showReading(Text text);

  bool storeRead_ = false;        // a store with records was read
  Text readingStatus_ = "Ready";  // the status the last reading gave
};

// The status texts of the view.
inline constexpr const char* kStatusReady = "Ready";
inline constexpr const char* kStatusNameRequired = "A name is required";
inline constexpr const char* kStatusUnknownOwner = "Enter an existing customer ID";
inline constexpr const char* kStatusInactiveOwner = "Choose an active customer";
inline constexpr const char* kStatusRecordInvalid = "Record validation failed";
inline constexpr const char* kStatusEdgeInvalid = "Relationship validation failed";
inline constexpr const char* kStatusCommitFailed = "Commit failed; reopened saved records";
// After "Kept <id>": the store's state is a write-ahead file that could not be moved into place.
inline constexpr const char* kStatusKeptUnmoved = "; the store file could not be replaced yet";
// A save refused while that is so.
inline constexpr const char* kStatusNotSavedUnmoved = "Not saved; the store file could not be replaced yet";
// A store with records was read, and its files are no longer in the data directory.
inline constexpr const char* kStatusStoreMissing = "Records missing from the data directory; put them back";

}  // namespace app
