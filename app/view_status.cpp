#include "app/view_status.hpp"

#include <array>
#include <cstddef>
#include <utility>

namespace app {

using Kind = ViewStatus::Kind;

namespace {

// By trouble (kNone, kNoRoom, kNoPermission, kNotReplaced, kLockNotHad, kOther): its words after "Kept
// <id>; " or "Not saved; ", and whether a save that kept nothing tells it (a cause the user can end).
constexpr const char* kNotReplaced = "the store file could not be replaced yet";
constexpr std::array<std::pair<const char*, bool>, 6> kTroubleWords{{{kNotReplaced, false},
                                                                     {"no room on the disk for the store file", true},
                                                                     {"no permission to write the store file", true},
                                                                     {kNotReplaced, false},
                                                                     {"another program is writing the store", true},
                                                                     {kNotReplaced, false}}};
const char* troubleWords(store::StoreTrouble trouble) {
  return kTroubleWords.at(static_cast<std::size_t>(trouble)).first;
}

// What the form held that refused a save, by refusal.
constexpr std::array<const char*, 5> kFormRefusalWords{"A name is required", "Enter an existing customer ID",
                                                       "Choose an active customer", "Record validation failed",
                                                       "Relationship validation failed"};

// A commit that kept nothing, for its trouble.
ViewStatus notSavedFor(store::StoreTrouble trouble, const runtime::Text& id) {
  return kTroubleWords.at(static_cast<std::size_t>(trouble)).second ? ViewStatus{Kind::kNotSaved, {id}, trouble}
                                                                    : ViewStatus{Kind::kCommitFailed, {id}};
}

// Whether a save's cause is over, as a reading tells: another program writing, once it had the lock or
// found no commit in flight; no room or permission, once it finds another program's new commit.
bool causeOver(store::StoreTrouble cause, const ReadingBefore& before, const StoreReading& now) {
  switch (cause) {
    case store::StoreTrouble::kLockNotHad:
      return now.found.opened != store::OpenOutcome::kWriteAheadInFlight;
    case store::StoreTrouble::kNoRoom:
    case store::StoreTrouble::kNoPermission:
      return now.database.store.sequence != before.sequence;
    case store::StoreTrouble::kNone:
    case store::StoreTrouble::kNotReplaced:
    case store::StoreTrouble::kOther:
      break;
  }
  return false;  // no cause of a save not saved
}

// A save waiting on the store's files takes the cause the reading found while they still wait
// (kSavesWait, kBeingWritten); otherwise the reading's status.
ViewStatus waitingOn(ViewStatus shown, const StoreReading& now) {
  ViewStatus reading = readingStatus(now);
  if (reading.kind != Kind::kSavesWait && reading.kind != Kind::kBeingWritten) return reading;
  shown.cause = reading.cause;
  return shown;
}

// A save that waited, in place as written: saved, or kept while the store waits.
std::optional<ViewStatus> foundInPlace(const ReadingBefore& before, const StoreReading& now,
                                       const ViewStatus& reading) {
  if (!before.pending || now.missing || !holdsWritten(now.database, *before.pending)) return std::nullopt;
  if (reading.kind == Kind::kSavesWait) return ViewStatus{Kind::kKept, *before.pending, reading.cause};
  return reading.kind == Kind::kReady ? std::optional<ViewStatus>{{Kind::kSaved, *before.pending}} : std::nullopt;
}

}  // namespace

runtime::Text statusText(const ViewStatus& status) {
  switch (status.kind) {
    case Kind::kReady:
      return kStatusReady;
    case Kind::kStoreMissing:
      return kStatusStoreMissing;
    case Kind::kBeingWritten:
      return kStatusStoreBeingWritten;
    case Kind::kSavesWait:
      if (status.cause == store::StoreTrouble::kNoRoom) return "Last save kept; saves wait for room on the disk";
      if (status.cause == store::StoreTrouble::kNoPermission) return "Last save kept; saves wait for permission";
      return kStatusSavesWait;
    case Kind::kSaved:
      return "Saved " + status.save.id;
    case Kind::kKept:
      return "Kept " + status.save.id + "; " + troubleWords(status.cause);
    case Kind::kNotSavedWaiting:
    case Kind::kNotSaved:
      return runtime::Text("Not saved; ") + troubleWords(status.cause);
    case Kind::kCommitFailed:
      return kStatusCommitFailed;
    case Kind::kOpenFailed:
    case Kind::kRefused:
    case Kind::kConflict:
      break;
  }
  return status.text;
}

ViewStatus readingStatus(const StoreReading& reading) {
  if (reading.missing) return {Kind::kStoreMissing};
  const OpenFound& found = reading.found;
  switch (found.opened) {
    case store::OpenOutcome::kOpened:
      return {};
    case store::OpenOutcome::kWriteAheadLocked:
    case store::OpenOutcome::kWriteAheadUnlocked:
      return {Kind::kSavesWait, {}, found.trouble};
    case store::OpenOutcome::kWriteAheadInFlight:
      return {Kind::kBeingWritten, {}, found.trouble};  // the lock not had
    case store::OpenOutcome::kFilesMissing:
      return {Kind::kStoreMissing};
    case store::OpenOutcome::kFailed:
      break;
  }
  return {Kind::kOpenFailed, {}, {}, found.message};
}

ViewStatus refusalOfForm(FormRefusal why, const runtime::Text& id) {
  return {Kind::kRefused, {id}, {}, kFormRefusalWords.at(static_cast<std::size_t>(why))};
}

ViewStatus refusalOfReading(const StoreReading& reading, const runtime::Text& id) {
  const bool inFlight = reading.found.opened == store::OpenOutcome::kWriteAheadInFlight;  // the lock not had
  return waitingOn({inFlight ? Kind::kNotSaved : Kind::kNotSavedWaiting, {id}}, reading);
}

SaveDecision decideSave(const SaveCommit& commit, const StoreReading& readBack) {
  const WrittenRecord& written = commit.written;
  const ViewStatus keptForReading{Kind::kKept, written, readBack.found.trouble};  // the store's state till moved
  const SaveResult lost =
      readBack.found.opened == store::OpenOutcome::kFilesMissing ? SaveResult::kStoreGone : SaveResult::kNotKept;
  const ViewStatus refusal = refusalOfReading(readBack, written.id);
  const ReadBackFound found = readBackFound(readBack);
  switch (commitDid(commit)) {
    case CommitDid::kMoved:
      switch (found) {
        case ReadBackFound::kTookStore:
        case ReadBackFound::kLockHeld:
        case ReadBackFound::kUnreadable:
          return {SaveResult::kSaved, {Kind::kSaved, written}};
        case ReadBackFound::kRecordsMissing:
          return {SaveResult::kSaved, {Kind::kStoreMissing}};
      }
      break;
    case CommitDid::kKeptOwnFile:
      switch (found) {
        case ReadBackFound::kTookStore:  // waiting still, or moved into place; another record: lost
          if (!holdsWritten(readBack.database, written))
            return {SaveResult::kNotKept, {Kind::kCommitFailed, {written.id}}};
          if (readBack.settledFile.present) return {SaveResult::kKept, keptForReading};
          return {SaveResult::kSaved, {Kind::kSaved, written}};
        case ReadBackFound::kLockHeld:
          return {SaveResult::kKept, keptForReading};
        case ReadBackFound::kUnreadable:
          return {SaveResult::kKept, {Kind::kKept, written, commit.trouble}};
        case ReadBackFound::kRecordsMissing:
          return {lost, {Kind::kStoreMissing}};
      }
      break;
    case CommitDid::kKeptNothing:
      switch (found) {
        case ReadBackFound::kTookStore:   // what the store as read refuses, else the commit's trouble
        case ReadBackFound::kLockHeld:    // "Not saved; another program is writing the store"
        case ReadBackFound::kUnreadable:  // what the open could not read
          return {SaveResult::kNotKept,
                  refusal.kind == Kind::kReady ? notSavedFor(commit.trouble, written.id) : refusal};
        case ReadBackFound::kRecordsMissing:
          return {lost, {Kind::kStoreMissing}};
      }
      break;
  }
  return {SaveResult::kNotKept, refusal};
}

ViewStatus statusAfterReading(const ViewStatus& shown, const ReadingBefore& before, const StoreReading& now) {
  const ViewStatus reading = readingStatus(now);
  const std::optional<ViewStatus> found = foundInPlace(before, now, reading);
  // A save not made gives way to a save found of another record only: its form may hold the text.
  const std::optional<ViewStatus> foundOther = found && found->save.id != shown.save.id ? found : std::nullopt;
  const bool otherSaved = foundOther && foundOther->kind == Kind::kSaved;
  const bool newTrouble = reading.kind != Kind::kReady && reading != before.status;
  switch (shown.kind) {
    case Kind::kReady:
    case Kind::kStoreMissing:
    case Kind::kSavesWait:
    case Kind::kBeingWritten:
    case Kind::kOpenFailed:
      return found.value_or(reading);  // a reading's status gives way
    case Kind::kSaved:
      return newTrouble || (!now.missing && !holdsWritten(now.database, shown.save)) ? reading : shown;
    case Kind::kKept:
      return found && found->kind == Kind::kSaved ? *found : waitingOn(shown, now);
    case Kind::kNotSavedWaiting:
      return otherSaved ? *foundOther : waitingOn(shown, now);
    case Kind::kNotSaved:  // only its cause over ends it, not another trouble that hides it
      return foundOther || causeOver(shown.cause, before, now) ? foundOther.value_or(reading) : shown;
    case Kind::kCommitFailed:
      return foundOther || newTrouble ? foundOther.value_or(reading) : shown;
    case Kind::kRefused:  // about the form: ended by another record's save found saved, or new trouble
      return otherSaved || newTrouble ? foundOther.value_or(reading) : shown;
    case Kind::kConflict:
      return newTrouble ? reading : shown;
  }
  return shown;
}

bool awaitsReading(const ViewStatus& shown) {
  return shown.kind == Kind::kNotSaved && shown.cause == store::StoreTrouble::kLockNotHad;
}

ViewStatus conflictStatus(runtime::Text words) { return {Kind::kConflict, {}, {}, std::move(words)}; }

ViewStatus afterConflict(const ViewStatus& shown, const StoreReading& reading) {
  return shown.kind == Kind::kConflict ? readingStatus(reading) : shown;
}

}  // namespace app
