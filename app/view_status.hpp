// The directory view's status as one value, its words, and its rules: after a reading and a save.
#pragma once

#include <cstdint>
#include <optional>

#include "app/record_fields.hpp"
#include "app/store_reading.hpp"
#include "runtime/text.hpp"
#include "store/store_state.hpp"

namespace app {

// Status texts of readings and saves (see ViewStatus).
inline constexpr const char* kStatusReady = "Ready";
inline constexpr const char* kStatusCommitFailed = "Commit failed; reopened saved records";
inline constexpr const char* kStatusSavesWait = "Last save kept; saves wait for the store file";
inline constexpr const char* kStatusStoreMissing = "Records missing from the data directory; put them back";
inline constexpr const char* kStatusStoreBeingWritten = "Another program is writing the store; saves wait for it";

// What the status line tells, as one value; statusText makes its words.
struct ViewStatus {
  enum class Kind {    // what a reading of the store found (readingStatus), then what a save came to
    kReady,            // the store as last read is there and takes saves
    kStoreMissing,     // a store with records was read, and its files or records it must hold are gone
    kSavesWait,        // the store's state is a write-ahead file not moved into place, for `cause`
    kBeingWritten,     // another program holds the lock over a write-ahead file it may give up (`cause`)
    kOpenFailed,       // the store could not be read: `text` says why
    kSaved,            // the store holds `save` as written
    kKept,             // `save` is kept in a write-ahead file not moved into place, for `cause`
    kNotSavedWaiting,  // a save refused while the store's state waits, for `cause`
    kNotSaved,         // a save whose store file could not be written or locked, for `cause`
    kCommitFailed,     // a save overtaken by another program's, or failed otherwise; the store was read again
    kRefused,          // a save refused for what the form holds: `text` says why
    kConflict,         // a save stopped by another window's change: `text` names the field and its value
  };
  Kind kind = Kind::kReady;
  WrittenRecord save;  // as written (kSaved, kKept); of a save not made, its id ("" for a new record)
  store::StoreTrouble cause = store::StoreTrouble::kNone;
  runtime::Text text;
  bool operator==(const ViewStatus&) const = default;
};

runtime::Text statusText(const ViewStatus& status);     // the status line's words
ViewStatus readingStatus(const StoreReading& reading);  // what the latest reading says

// Why a save of `id` is refused: for the form, or by the store as read (kReady: it takes saves).
enum class FormRefusal { kNameRequired, kOwnerUnknown, kOwnerNotActive, kRecordInvalid, kEdgeInvalid };
ViewStatus refusalOfForm(FormRefusal why, const runtime::Text& id);
ViewStatus refusalOfReading(const StoreReading& reading, const runtime::Text& id);

// A save's outcome and its status, from what its commit did and what its read-back found.
struct SaveDecision {
  SaveResult result = SaveResult::kRefused;
  ViewStatus status;
};
SaveDecision decideSave(const SaveCommit& commit, const StoreReading& readBack);

// Of the reading before a new one: what it said, the save it waited to find in place, and the
// commit its database was read at.
struct ReadingBefore {
  ViewStatus status;
  std::optional<WrittenRecord> pending;
  std::int32_t sequence = 0;
};

// The status after a reading (`now`), from the one shown and the reading before, by the kind shown
// (each kind's rule is at its label). A pending save found in place says "Saved <id>" (or kept)
// over a reading's status and a kept save, and over a save of another record refused or failed;
// such a save stays while its cause lasts.
ViewStatus statusAfterReading(const ViewStatus& shown, const ReadingBefore& before, const StoreReading& now);

bool awaitsReading(const ViewStatus& shown);  // a reading may end its cause: read, whatever the files

// A save stopped by another window's change (`words` name the field); when it ends, the reading's.
ViewStatus conflictStatus(runtime::Text words);
ViewStatus afterConflict(const ViewStatus& shown, const StoreReading& reading);

}  // namespace app
