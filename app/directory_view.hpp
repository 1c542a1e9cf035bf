// The one object between the directory screen and self-test and the durable record database:
// it opens the database, seeds the demo records, turns one form submission into a validated
// record (and, for an animal, its "owned-by" edge) committed in one batch, and reopens the
// database from disk after every commit attempt so that it always shows what is stored. Another
// program on the same directory may commit in between, or leave a write-ahead file that an open
// takes as the store's state: the view reads the store again when its files changed
// (reloadIfChanged), and a commit made over them is refused. A store taken away while the view
// runs is never replaced by a new, empty one.
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
// A store with records was read, and its files are no longer in the data directory.
inline constexpr const char* kStatusStoreMissing = "Records missing from the data directory; put them back";

// What the status line tells, as one value; statusText makes its words. A reading of the store
// decides from the value what stays: see DirectoryView::reloadIfChanged.
struct ViewStatus {
  enum class Kind {
    kReady,            // the store as last read is there and takes saves
    kStoreMissing,     // a store with records was read, and its files are gone from the directory
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
  // an open reads it (the snapshot, or a write-ahead file the open takes as the store's state even
  // where it cannot move it into place), and that reading decides: saved when the commit went
  // through, or when it was reported failed after writing its write-ahead file and the store read
  // back holds the record as written (holdsWritten); kept when that reading is a write-ahead file
  // that could not be moved into place (the status says why). An empty id makes a new one,
  // "<kind>-<n>", from the first number not in use. A database that is not open is opened again
  // first; the save is refused with its message only when that fails too. Once a store with
  // records was read (from its snapshot or a write-ahead file), a store whose files are gone from
  // the data directory refuses every save with kStatusStoreMissing, writing nothing; so does a
  // store read from a write-ahead file that is gone while the snapshot file is still the one read
  // beside it. The store is not read again when another program changed it: such a commit is
  // refused and the database reopened. A store file that could not be written says why: no room
  // on the disk, or no permission. The outcome is also in the status, and a saved or kept id in
  // `lastSavedId`.
  virtual SaveOutcome saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records, through saveRecord, when the database is open and holds no record.
  virtual void seedDemoData();

  // Reads the database again when it is not open, or when its files are no longer the ones it
  // read or last wrote (another program saved, left a write-ahead file an open takes, or the
  // file came back). Returns whether it reopened. A store with records whose files went away is
  // not read as an empty one: the view keeps what it read last, and reads the files once they are
  // back. Files that cannot be read are left to the next save. Every reading, of the files again
  // or of their check alone, decides from the status's value: a status of the store's files (ready,
  // missing, saves wait, kept, not saved while the store waits) gives way to what the reading
  // finds, and a kept save whose file the reading finds moved into place, whoever moved it, says
  // "Saved <id>" (or "Ready" when the store no longer holds it); a failed reading replaces any
  // other status, unless the status came after the same failure.
  bool reloadIfChanged();

  // A save of the record with this id that the store read last holds after all (its write-ahead
  // file was taken by a later open): the status says it is saved, or kept while the store's state
  // is that file not yet moved into place.
  void confirmSave(const Text& id);
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
  // True when a store with records was read and its files are no longer in the data directory, or
  // when it was read from a write-ahead file that is gone while the snapshot file beside it is
  // still the one read.
  bool storeGone() const;
  // Opens the database again: creating the directory and an empty store only while no store with
  // records was read. False when the store is gone; the database read last stays when `keepWhenGone`.
  bool reopen(bool keepWhenGone);
  // What the database as read says.
  ViewStatus readingStatus() const;
  // Decides the status after a reading (see reloadIfChanged).
  void showReading();
  // The one place the status is set.
  void setStatus(ViewStatus status);

  bool storeRead_ = false;      // a store with records was read
  ViewStatus status_;           // what the status line tells
  ViewStatus lastReading_;      // what the last reading said
  std::optional<Text> keptId_;  // a save kept in a write-ahead file, until a reading finds it moved
};

}  // namespace app
