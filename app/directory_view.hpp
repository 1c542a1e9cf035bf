// The one object between the directory screen and self-test and the durable record database:
// it opens the database, seeds the demo records, turns one form submission into a validated
// record (and, for an animal, its "owned-by" edge) committed in one batch, and reopens the
// database from disk after every commit attempt so that it always shows what is stored.
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
  ~DirectoryView();

  DirectoryView(const DirectoryView&) = delete;
  DirectoryView& operator=(const DirectoryView&) = delete;

  // Validates and commits the record (and an animal's owner edge); true when committed, also
  // when the commit reported a failure but the reopened store holds the record as submitted. An
  // empty id makes a new one, "<kind>-<n>", from the first number not in use. The outcome is in
  // `status` (it says so when the data directory went missing), the saved id in `lastSavedId`.
  bool saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived);

  // Saves the five demo records when the database is open and holds no record.
  void seedDemoData();

  Text dataDirectory;
  store::Database database;  // as last opened from disk
  Text status = "Ready";     // outcome of the last construction or save
  Text lastSavedId;          // id written by the last successful save

 private:
  Text makeNewId(const Text& kind) const;
  // The status that refuses a save before anything is built: no name, a database that did not
  // open, or an animal whose owner is not an active customer. None when the save may go on.
  std::optional<Text> refusalBeforeSave(const Text& kind, const Text& name, const Text& owner) const;
  // Commits the validated batch, reopens the database and sets the status and saved id.
  bool commitBatch(const store::RecordBatch& batch);
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
