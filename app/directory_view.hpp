// The one object between the directory screen and self-test and the durable record database: it
// seeds the demo records, commits one form submission as a validated record (and an animal's
// "owned-by" edge) in one batch, and reads the store back after every commit and whenever its files
// changed, so that it shows what is stored. A store gone, or that lost records, is never replaced.
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

// Status texts of the view (see ViewStatus).
inline constexpr const char* kStatusReady = "Ready";
inline constexpr const char* kStatusCommitFailed = "Commit failed; reopened saved records";
inline constexpr const char* kStatusSavesWait = "Last save kept; saves wait for the store file";
inline constexpr const char* kStatusStoreMissing = "Records missing from the data directory; put them back";
inline constexpr const char* kStatusStoreBeingWritten = "Another program is writing the store; saves wait for it";

// What the status line tells, as one value; statusText makes its words.
struct ViewStatus {
  enum class Kind {
    // What a reading of the store found (readingStatus):
    kReady,         // the store as last read is there and takes saves
    kStoreMissing,  // a store with records was read, and its files or records it must hold are gone
    kSavesWait,     // the store's state is a write-ahead file not moved into place, for `cause`
    kBeingWritten,  // another program holds the lock over a write-ahead file it may give up (`cause`)
    kOpenFailed,    // the store could not be read: `text` says why
    // What a save came to, or why it was not made:
    kSaved,            // the store holds `save` as written
    kKept,             // `save` is kept in a write-ahead file not moved into place, for `cause`
    kNotSavedWaiting,  // a save refused while the store's state waits, for `cause`
    kNotSaved,         // a save whose store file could not be written or locked, for `cause`
    kCommitFailed,     // a save overtaken by another program's, or failed otherwise; the store was read again
    kRefused,          // a save refused for what the form holds: `text` says why
    kConflict,         // a save stopped by another window's change: `text` names the field and its value
  };
  Kind kind = Kind::kReady;
  WrittenRecord save;
  store::StoreTrouble cause = store::StoreTrouble::kNone;
  Text text;
  bool operator==(const ViewStatus&) const = default;
};

Text statusText(const ViewStatus& status);  // the status line's words

// How a reading of the store was made: the view's first, a later one (at a focus, before a save),
// or the read-back of a save's commit.
enum class ReadingOccasion { kFirst, kAgain, kSaveReadBack };

// What the latest open of the store found: how it went, and the trouble and message it told.
struct OpenFound {
  store::OpenOutcome opened = store::OpenOutcome::kOpened;
  store::StoreTrouble trouble = store::StoreTrouble::kNone;
  Text message;
  static OpenFound of(const store::StoreState& state) { return {state.opened, state.trouble, state.message}; }
};

// What the view knows of the store, as one value: the database it took from its last reading
// (which store, and from which file), whether that file is settled, what the latest reading
// found, the save it waits to find in place, and whether records are missing. Only nextReading
// makes a new one from a reading.
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

// The value after an open of the store (`opened`). After the first, an open that met another
// program's commit in flight, or that could not read the store's files, takes nothing: the
// database stays, and the reading tells what it found. Otherwise records are missing when a store
// with records was read and its files are gone, or when the database was read from a settled file
// and the open holds one of its records neither as read nor saved again later; else the open is
// taken. A store gone is taken all the same (its database empty) by a save's read-back.
StoreReading nextReading(StoreReading last, store::Database opened, ReadingOccasion occasion);

class DirectoryView {
 public:
  // Opens the database in the directory. The errors this first open lets through (a file that
  // cannot be read, a zero byte in a stored text) pass out; a later reading that meets one shows
  // its message, as a store that did not open, and keeps what it read before.
  explicit DirectoryView(Text directory);
  virtual ~DirectoryView() = default;

  DirectoryView(const DirectoryView&) = delete;
  DirectoryView& operator=(const DirectoryView&) = delete;

  // Validates and commits the record (and an animal's owner edge) on the database as last read,
  // then reads the store back. Saved when the commit went through, or when it kept its write-ahead
  // file and the reading holds the record as written; kept while that file is the store's state,
  // not moved into place. An empty id makes a new one, "<kind>-<n>", from the first number not in
  // use. Nothing reads the store before the commit: a save is refused while the latest reading
  // does not take saves (see reloadIfChanged), and a store changed since that reading refuses the
  // commit. The outcome is also in the status, and a saved or kept id in `lastSavedId`.
  virtual SaveOutcome saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records, through saveRecord, when the database is open and holds no
  // record; stops at the first that is not saved, whose status says why.
  virtual void seedDemoData();

  // Reads the database again when the latest reading did not take saves, or when the files changed
  // (files that cannot be read are left to the commit's check); the very files back where records
  // were missing are the store as read. True when it took a new reading. A save refused for its
  // cause ("Not saved; ...") first asks whether that cause is over: it is once the directory's lock
  // can be had, its file made. The status follows the reading (followReading).
  bool reloadIfChanged();

  // A save stopped by another window's change; the words name the field and its value.
  void showConflict(Text words);
  // That status gives way to what the store as last read says; any other status stays.
  void endConflict();

  Text status() const { return statusText(status_); }
  const ViewStatus& statusValue() const { return status_; }

  const Text dataDirectory;
  const store::Database& database = reading_.database;  // as last taken from disk
  Text lastSavedId;                                     // id written by the last save that was saved or kept

 private:
  Text makeNewId(const Text& kind) const;
  // Refuses a save before anything is built, and says why in the status: no name, a latest
  // reading that does not take saves, or an animal whose owner is not an active customer.
  bool refusedBeforeSave(const Text& kind, const Text& name, const Text& owner);
  // Commits the validated batch, reads the store back and sets the status and the id.
  SaveOutcome commitBatch(const store::RecordBatch& batch);
  // Opens the store as it is now and takes what nextReading makes of it; true when the open was
  // taken. The status follows the reading, but for a save's read-back (its outcome decides it).
  // The errors the open lets through (a file that cannot be read, a zero byte in a stored text)
  // are a reading that could not read the store.
  bool readStore(ReadingOccasion occasion);
  // What the latest reading says.
  ViewStatus readingStatus() const;
  // Why a save is refused by the store as read: what it says, "Not saved" while the store waits.
  ViewStatus refusalOfReading() const;
  // Decides the status after a reading, from what it said before, what the reading before it said
  // and the save that waited to be found in place before it: a reading's status gives way; a
  // kept save, or one refused while the store waits, stays while the store still waits, with the
  // cause found now; a pending save found as written says "Saved <id>" (or kept) over a status of
  // a reading, a kept save, a failed or refused save; "Saved <id>" gives way once the store does
  // not hold that save as written; other statuses give way only to a new reading that does not
  // take saves.
  void followReading(const ViewStatus& lastReading, const std::optional<WrittenRecord>& pending);

  StoreReading reading_;
  ViewStatus status_;
};

}  // namespace app
