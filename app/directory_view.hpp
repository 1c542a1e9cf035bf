// The one object between the directory screen and self-test and the durable record database:
// it opens the database, seeds the demo records, turns one form submission into a validated
// record (and, for an animal, its "owned-by" edge) committed in one batch, and reopens the
// database from disk after every commit attempt so that it always shows what is stored. Another
// program on the same directory may commit in between: the view reads its saves again when the
// snapshot file changed (reloadIfChanged), and a commit made over them is refused.
#pragma once

#include <optional>

#include "runtime/text.hpp"
#include "store/batch.hpp"
#include "store/record.hpp"

namespace app {

using runtime::Text;

class DirectoryView {
 public:
  // Opens the database in the directory. The file-read runtime errors of opening pass out.
  explicit DirectoryView(Text directory);
  virtual ~DirectoryView();

  DirectoryView(const DirectoryView&) = delete;
  DirectoryView& operator=(const DirectoryView&) = delete;

  // Validates and commits the record (and an animal's owner edge); true when committed, also
  // when the commit reported a failure but the reopened store holds the record as submitted. An
  // empty id makes a new one, "<kind>-<n>", from the first number not in use, unless the new
  // record of a commit reported failed is stored after all with these very fields: that record is
  // saved again rather than doubled. A database that is not open is opened again first; the save
  // is refused with its message only when that fails too. The snapshot is not read again when
  // another program changed it: such a commit is refused and the database reopened. The outcome
  // is in `status` (it says so when the data directory went missing), the saved id in
  // `lastSavedId`.
  virtual bool saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records, through saveRecord, when the database is open and holds no record.
  virtual void seedDemoData();

  // Reads the database again when it is not open, or when its snapshot file is no longer the one
  // it read or last wrote (another program saved, or the file came or went). Returns whether it
  // reopened. An open database whose data directory went missing is kept (opening would make an
  // empty directory), and a snapshot file that cannot be read is left to the next save. A reopen
  // that fails puts its message in `status`.
  bool reloadIfChanged();

  Text dataDirectory;
  store::Database database;  // as last opened from disk
  Text status = "Ready";     // outcome of the last construction or save
  Text lastSavedId;          // id written by the last successful save

 private:
  Text makeNewId(const Text& kind) const;
  // The id of the new record of the last commit of a new record reported failed, when the
  // database holds it with these fields: that commit reached the disk after all (a later open
  // promoted its write-ahead file).
  std::optional<Text> unconfirmedNewId(const Text& kind, const Text& name, const Text& detail, const Text& owner,
                                       bool archived) const;
  // The status that refuses a save before anything is built: no name, a database that did not
  // open, or an animal whose owner is not an active customer. None when the save may go on.
  std::optional<Text> refusalBeforeSave(const Text& kind, const Text& name, const Text& owner) const;
  // Commits the validated batch, reopens the database and sets the status and saved id.
  bool commitBatch(const store::RecordBatch& batch, bool newRecord);

  Text unconfirmedId_;  // the new record of the last such commit, until saved; empty when none
};

// The status texts of the view.
inline constexpr const char* kStatusReady = "Ready";
inline constexpr const char* kStatusNameRequired = "A name is required";
inline constexpr const char* kStatusUnknownOwner = "Enter an existing customer ID";
inline constexpr const char* kStatusInactiveOwner = "Choose an active customer";
inline constexpr const char* kStatusRecordInvalid = "Record validation failed";
inline constexpr const char* kStatusEdgeInvalid = "Relationship validation failed";
inline constexpr const char* kStatusCommitFailed = "Commit failed; reopened saved records";
inline constexpr const char* kStatusDirectoryMissing = "Commit failed; the data directory went missing";

}  // namespace app
