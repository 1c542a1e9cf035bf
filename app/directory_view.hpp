// The one object between the directory screen and self-test and the durable record database:
// it opens the database, seeds the demo records, turns one form submission into a validated
// record (and, for an animal, its "owned-by" edge) committed in one batch, and reads the store
// back after every commit attempt so that it always shows what is stored. Another program may
// commit in between: the view reads the store again when its files changed (reloadIfChanged),
// and a commit made over them is refused. A store gone, or that lost records, is never replaced.
#pragma once

#include <cstdint>
#include <optional>

#include "app/record_fields.hpp"
#include "runtime/text.hpp"
#include "store/batch.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"

namespace app {

using runtime::Text;

// What a save came to.
enum class SaveResult {
  kSaved,      // the store holds the record as written
  kKept,       // the same, in a write-ahead file an open takes but could not move into place yet
  kRefused,    // refused before anything was written (the status says why)
  kNotKept,    // the commit failed, and the store read back does not hold the record
  kStoreGone,  // the commit failed, and the store's files had gone from the data directory
};

// A save's outcome, and the record it wrote. A save that was not kept but left its whole
// write-ahead file (`writeAheadLeft`) may still reach the store: a later open may take that file.
struct SaveOutcome {
  SaveResult result = SaveResult::kRefused;
  WrittenRecord written;  // empty for a save refused before its record was made
  bool writeAheadLeft = false;
  explicit operator bool() const { return result == SaveResult::kSaved || result == SaveResult::kKept; }
};

// True when the database lists the record as the save wrote it: the same id, kind, fields and
// update time. A record another program stored alike under that id is not this save's.
bool holdsWritten(const store::Database& database, const WrittenRecord& written);

// The status texts of the view.
inline constexpr const char* kStatusReady = "Ready";
inline constexpr const char* kStatusNameRequired = "A name is required";
inline constexpr const char* kStatusUnknownOwner = "Enter an existing customer ID";
inline constexpr const char* kStatusInactiveOwner = "Choose an active customer";
inline constexpr const char* kStatusRecordInvalid = "Record validation failed";
inline constexpr const char* kStatusEdgeInvalid = "Relationship validation failed";
inline constexpr const char* kStatusCommitFailed = "Commit failed; reopened saved records";
// A reading that found the store's state a write-ahead file that could not replace the snapshot
// file, with no save of this window's kept there.
inline constexpr const char* kStatusSavesWait = "Last save kept; saves wait for the store file";
// A store with records was read, and its files, or records it must hold, are gone.
inline constexpr const char* kStatusStoreMissing = "Records missing from the data directory; put them back";

// What the status line tells, as one value; statusText makes its words. A reading of the store
// decides from the value what stays: see DirectoryView::reloadIfChanged.
struct ViewStatus {
  enum class Kind {
    kReady,            // the store as last read is there and takes saves
    kStoreMissing,     // a store with records was read, and its files or records it must hold are gone
    kSavesWait,        // the store's state is a write-ahead file not moved into place, for `cause`
    kOpenFailed,       // the store could not be read: `text` says why
    kSaved,            // the store holds the save of `id`
    kKept,             // the save of `id` is kept in a write-ahead file not moved into place, for `cause`
    kNotSavedWaiting,  // a save refused, or not kept, while the store's state waits, for `cause`
    kNotWritten,       // a save whose store file could not be written, for `cause` (no room or permission)
    kCommitFailed,     // a save overtaken by another program's, or failed otherwise; the store was read again
    kRefused,          // a save refused for what the form holds: `text` says why
    kConflict,         // a save stopped by another window's change: `text` names the field and its value
  };
  Kind kind = Kind::kReady;
  Text id;
  store::StoreTrouble cause = store::StoreTrouble::kNone;
  Text text;
  bool operator==(const ViewStatus&) const = default;
};

// The status line's words.
Text statusText(const ViewStatus& status);

class DirectoryView {
 public:
  // Opens the database in the directory. The file-read runtime errors of opening pass out.
  explicit DirectoryView(Text directory);
  virtual ~DirectoryView();

  DirectoryView(const DirectoryView&) = delete;
  DirectoryView& operator=(const DirectoryView&) = delete;

  // Validates and commits the record (and an animal's owner edge), then reads the store back as
  // an open reads it, and that reading decides: saved when the commit went through, or when it
  // failed with a file kept (its write-ahead file, also one whose move into place was not flushed)
  // and the reading holds the record as written (holdsWritten); kept when that reading is a
  // write-ahead file not moved into place (the status says why). An empty id makes a new one,
  // "<kind>-<n>", from the first number not in use. A database that is not open, or whose records
  // are missing, is read again first; the save is refused with its message (kStatusStoreMissing
  // while records are missing) when that fails too, writing nothing. A commit over another
  // program's change is refused and the database read again. The outcome is also in the status,
  // and a saved or kept id in `lastSavedId`.
  virtual SaveOutcome saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records, through saveRecord, when the database is open and holds no record.
  virtual void seedDemoData();

  // Reads the database again when it is not open, or when its files are no longer the ones it
  // read or last wrote. Returns whether it took a new reading. Records are missing, and the view
  // keeps listing what it read last, when a store with records was read and its files are gone, or
  // when the view read a write-ahead file no commit could still be writing (its own kept file, or
  // one read under the directory's lock) and the store an open finds now holds one of its records
  // neither as read nor saved again later. Files that cannot be read are left to the next save. A
  // status of the store's files (ready, missing, saves wait, kept, not saved while the store waits)
  // gives way to what a reading finds; a kept save the reading finds in place, as written, says
  // "Saved <id>"; a failed reading replaces any other status, unless it came after the same failure.
  bool reloadIfChanged();

  // A save of this record that the store read last holds after all (its write-ahead file was
  // taken by a later open): the status says it is saved, or kept while the store's state is that
  // file not yet moved into place.
  void confirmSave(const WrittenRecord& written);
  // A save stopped by another window's change; the words name the field and its value.
  void showConflict(Text words);
  // That status gives way to what the store as last read says; any other status stays.
  void endConflict();

  Text status() const { return statusText(status_); }
  const ViewStatus& statusValue() const { return status_; }

  Text dataDirectory;
  store::Database database;  // as last opened from disk
  Text lastSavedId;          // id written by the last save that was saved or kept

 private:
  Text makeNewId(const Text& kind) const;
  // Refuses a save before anything is built, and says why in the status: no name, a store gone,
  // a database that did not open, or an animal whose owner is not an active customer.
  bool refusedBeforeSave(const Text& kind, const Text& name, const Text& owner);
  // Commits the validated batch, reads the store back and sets the status and the id.
  SaveOutcome commitBatch(const store::RecordBatch& batch);
  // Reads the store as an open finds it now (creating the directory and an empty store only while
  // no store with records was read) and takes that reading unless records are missing (`missing_`);
  // a store gone is taken all the same unless `keepWhenGone`. True when it took the reading.
  bool readStore(bool keepWhenGone);
  // What the database as read says.
  ViewStatus readingStatus() const;
  // Decides the status after a reading (see reloadIfChanged).
  void showReading();
  // The one place the status is set.
  void setStatus(ViewStatus status);

  bool storeRead_ = false;             // a store with records was read
  bool mustHold_ = false;              // the database was read from a write-ahead file no commit is writing
  bool missing_ = false;               // the last reading found records missing
  ViewStatus status_;                  // what the status line tells
  ViewStatus lastReading_;             // what the last reading said
  std::optional<WrittenRecord> kept_;  // a save kept in a write-ahead file, until a reading finds it moved
};

}  // namespace app
