// The one object between the directory screen and self-test and the durable record database: it
// seeds the demo records, commits one form submission as a validated record (and an animal's
// "owned-by" edge) in one batch, and reads the store back after every commit and whenever its files
// changed, so that it shows what is stored. A store gone, or that lost records, is never replaced.
// What it knows of the store follows the reading's rule (store_reading.hpp), and its status the
// status's (view_status.hpp).
#pragma once

#include "app/record_fields.hpp"
#include "app/store_reading.hpp"
#include "app/view_status.hpp"
#include "runtime/text.hpp"
#include "store/batch.hpp"
#include "store/record.hpp"

namespace app {

using runtime::Text;

// A save's outcome, and the record it wrote. A save that was not kept but left its whole
// write-ahead file (`writeAheadLeft`) may still reach the store: a later open may take that file.
struct SaveOutcome {
  SaveResult result = SaveResult::kRefused;
  WrittenRecord written;  // empty for a save refused before its record was made
  bool writeAheadLeft = false;
  explicit operator bool() const { return result == SaveResult::kSaved || result == SaveResult::kKept; }
};

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
  // then reads the store back; what the commit did and what the read-back found decide the
  // outcome (decideSave): saved when the commit went through, kept while the write-ahead file it
  // kept is the store's state, not moved into place. An empty id makes a new one, "<kind>-<n>",
  // from the first number not in use. Nothing reads the store before the commit: a save is
  // refused while the latest reading does not take saves (see reloadIfChanged), and a store
  // changed since that reading refuses the commit. The outcome is also in the status, and a saved
  // or kept id in `lastSavedId`.
  virtual SaveOutcome saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records, through saveRecord, when the database is open and holds no
  // record; stops at the first that is not saved, whose status says why.
  virtual void seedDemoData();

  // Reads the database again when the latest reading did not take saves or found records
  // missing, when the status waits for a reading to tell its cause is over, or when the files
  // changed (files that cannot be read are left to the commit's check). True when it took a new
  // reading. The status follows the reading (statusAfterReading).
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
  // Refuses a save of the record `id` before anything is built, and says why in the status: no
  // name, a latest reading that does not take saves, or an animal whose owner is not an active
  // customer.
  bool refusedBeforeSave(const Text& id, const Text& kind, const Text& name, const Text& owner);
  // Commits the validated batch, reads the store back and decides the outcome and the status.
  SaveOutcome commitBatch(const store::RecordBatch& batch);
  // Opens the store as it is now. The errors the open lets through (a file that cannot be read, a
  // zero byte in a stored text) are an open that could not read the store.
  store::Database openStore() const;
  // Takes a later reading of the store; true when it took the open's database.
  bool readStore();

  StoreReading reading_;
  ViewStatus status_;
};

}  // namespace app
