#include "app/directory_view.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "app/record_fields.hpp"
#include "runtime/runtime_error.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/store_files.hpp"
#include "store/store_state.hpp"

namespace app {

using Kind = ViewStatus::Kind;

namespace {

// The record's update time: one past the commit the save will make. Saturates instead of
// overflowing when the store's sequence is near the top of its range.
std::int32_t updatedTime(std::int32_t sequence) {
  const std::int64_t next = static_cast<std::int64_t>(sequence) + 2;
  return next > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                         : static_cast<std::int32_t>(next);
}

// The record a form submission saves.
store::Record makeRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived, std::int32_t sequence) {
  store::Record record;
  record.id = std::move(id);
  record.tenant = "oreb-demo";
  record.space = "clinic";
  record.container = "directory";
  record.kind = std::move(kind);
  record.created = 1;
  record.updated = updatedTime(sequence);
  record.classification = "public";
  record.purpose = "demo";
  setRecordFields(record, {std::move(name), std::move(detail), std::move(owner), archived});
  record.provenance = {"synthetic:oreb-template"};
  return record;
}

// The "owned-by" edge from an animal to its owner.
store::Edge makeOwnerEdge(const Text& animal, Text owner) {
  store::Edge edge;
  edge.id = "owner-" + animal;
  edge.tenant = "oreb-demo";
  edge.from = animal;
  edge.to = std::move(owner);
  edge.kind = "owned-by";
  edge.created = 1;
  return edge;
}

// What a save of the record writes, as a reading tells it apart.
WrittenRecord writtenOf(const store::Record& record) {
  return {record.id, record.kind, recordFieldsOf(record), record.updated};
}

ViewStatus refused(const char* why) { return {Kind::kRefused, {}, {}, why}; }

// A commit that did not go through, for its trouble: a cause the user can end is told.
ViewStatus notSavedFor(store::StoreTrouble trouble) {
  switch (trouble) {
    case store::StoreTrouble::kNoRoom:
    case store::StoreTrouble::kNoPermission:
    case store::StoreTrouble::kLockNotHad:
      return {Kind::kNotSaved, {}, trouble};
    case store::StoreTrouble::kNone:
    case store::StoreTrouble::kNotReplaced:
    case store::StoreTrouble::kOther:
      break;
  }
  return {Kind::kCommitFailed};
}

// True when `now` still holds every record of `read`: as read (id, kind, fields and update time),
// or saved again since under its id, with a later update time.
bool holdsEveryRecord(const store::Database& now, const store::Database& read) {
  std::unordered_map<std::string_view, const store::Record*> byId;
  for (const store::Record& record : now.records) byId.emplace(record.id, &record);
  return std::all_of(read.records.begin(), read.records.end(), [&byId](const store::Record& record) {
    const auto found = byId.find(record.id);
    if (found == byId.end()) return false;
    const store::Record& stored = *found->second;
    return stored.updated > record.updated || (stored.updated == record.updated && stored.kind == record.kind &&
                                               recordFieldsOf(stored) == recordFieldsOf(record));
  });
}

// Why a store file could not be written, locked or moved into place, after "Kept <id>; " or
// "Not saved; ".
const char* troubleWords(store::StoreTrouble trouble) {
  switch (trouble) {
    case store::StoreTrouble::kNoRoom:
      return "no room on the disk for the store file";
    case store::StoreTrouble::kNoPermission:
      return "no permission to write the store file";
    case store::StoreTrouble::kLockNotHad:
      return "another program is writing the store";
    default:
      return "the store file could not be replaced yet";
  }
}

// Whether a reading after the first takes the database an open found. Another program's
// write-ahead file may still be given up, and a store whose files cannot be read tells nothing of
// what it holds: what was read before stays, and so does what it settled.
bool takesDatabase(store::OpenOutcome opened) {
  switch (opened) {
    case store::OpenOutcome::kOpened:
    case store::OpenOutcome::kWriteAheadLocked:
    case store::OpenOutcome::kWriteAheadUnlocked:
    case store::OpenOutcome::kFilesMissing:
      return true;
    case store::OpenOutcome::kWriteAheadInFlight:
    case store::OpenOutcome::kFailed:
      break;
  }
  return false;
}

// What a reading brings to the status.
struct ReadingChange {
  ViewStatus reading;               // what the reading says
  std::optional<ViewStatus> found;  // a save that waited, in place as written: saved, or kept while it waits
  bool newTrouble = false;          // the reading does not take saves, and said otherwise before
  bool savedGone = false;           // the store as read no longer holds the "Saved" save as written
};

// A save waiting on the store's files takes the cause the reading found while they still wait;
// otherwise the reading's status.
ViewStatus waitingOn(ViewStatus shown, const ViewStatus& reading) {
  switch (reading.kind) {
    case Kind::kSavesWait:
    case Kind::kBeingWritten:
      shown.cause = reading.cause;
      return shown;
    case Kind::kReady:
    case Kind::kStoreMissing:
    case Kind::kOpenFailed:
    case Kind::kSaved:
    case Kind::kKept:
    case Kind::kNotSavedWaiting:
    case Kind::kNotSaved:
    case Kind::kCommitFailed:
    case Kind::kRefused:
    case Kind::kConflict:
      break;
  }
  return reading;
}

// The status after a reading, by the kind of the one shown.
ViewStatus statusAfterReading(const ViewStatus& shown, const ReadingChange& change) {
  const bool savedFound = change.found && change.found->kind == Kind::kSaved;
  switch (shown.kind) {
    case Kind::kReady:
    case Kind::kStoreMissing:
    case Kind::kSavesWait:
    case Kind::kBeingWritten:
    case Kind::kOpenFailed:
      return change.found.value_or(change.reading);  // a reading's status gives way
    case Kind::kSaved:
      return change.newTrouble || change.savedGone ? change.reading : shown;
    case Kind::kKept:
    case Kind::kNotSavedWaiting:
      return savedFound ? *change.found : waitingOn(shown, change.reading);
    case Kind::kNotSaved:
    case Kind::kCommitFailed:
      return change.found || change.newTrouble ? change.found.value_or(change.reading) : shown;
    case Kind::kRefused:
      // A refusal was about the form: a save found in place as saved, or new trouble, ends it.
      return savedFound || change.newTrouble ? change.found.value_or(change.reading) : shown;
    case Kind::kConflict:
      return change.newTrouble ? change.reading : shown;
  }
  return shown;
}

}  // namespace

Text statusText(const ViewStatus& status) {
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
      return Text("Not saved; ") + troubleWords(status.cause);
    case Kind::kCommitFailed:
      return kStatusCommitFailed;
    case Kind::kOpenFailed:
    case Kind::kRefused:
    case Kind::kConflict:
      break;
  }
  return status.text;
}

bool holdsWritten(const store::Database& database, const WrittenRecord& written) {
  const std::int32_t index = store::findRecordIndex(database, written.id);
  if (index < 0) return false;
  const store::Record& stored = database.records[static_cast<std::size_t>(index)];
  return stored.kind == written.kind && recordFieldsOf(stored) == written.fields && stored.updated == written.updated;
}

StoreReading nextReading(StoreReading last, store::Database opened, ReadingOccasion occasion) {
  const store::StoreState& read = opened.store;
  last.found = OpenFound::of(read);
  if (!takesDatabase(read.opened) && occasion != ReadingOccasion::kFirst) {
    last.missing = false;  // the reading says why it took nothing
    return last;
  }
  const bool gone = read.opened == store::OpenOutcome::kFilesMissing;
  last.missing = gone || (last.settledFile.present && !holdsEveryRecord(opened, last.database));
  if (last.missing && (occasion != ReadingOccasion::kSaveReadBack || !gone)) return last;  // the database read stays
  // No commit writes a write-ahead file read under the directory's lock; one read without it, the
  // lock file not to be made, is settled only when it is the very file already settled.
  const bool settled = read.opened == store::OpenOutcome::kWriteAheadLocked ||
                       (read.opened == store::OpenOutcome::kWriteAheadUnlocked && last.settledFile.present &&
                        read.writeAheadOnDisk == last.settledFile);
  last.settledFile = settled ? read.writeAheadOnDisk : store::SnapshotIdentity{};
  last.storeRead = last.storeRead || !read.entries.empty();  // a failed open has no entries
  // A save waiting to be found is settled by an open store that holds it as written, or by any
  // reading that holds another record under its id: its write-ahead file can no longer arrive.
  if (last.pending &&
      (holdsWritten(opened, *last.pending) ? read.ok : store::findRecordIndex(opened, last.pending->id) >= 0)) {
    last.pending.reset();
  }
  last.database = std::move(opened);
  return last;
}

DirectoryView::DirectoryView(Text directory) : dataDirectory(std::move(directory)) {
  reading_ = nextReading({}, store::openDatabase(dataDirectory), ReadingOccasion::kFirst);
  status_ = readingStatus();
}

Text DirectoryView::makeNewId(const Text& kind) const {
  // Numbered from the count of loaded records plus one, and past every id still in use: a
  // record that open skipped keeps its keys in the store, and overwriting it by a new record
  // would silently replace stored data.
  std::int64_t n = static_cast<std::int64_t>(database.records.size()) + 1;
  for (;; ++n) {
    Text id = runtime::formatText("{0}-{1}", {kind, std::to_string(n)});
    if (store::findRecordIndex(database, id) < 0 &&
        !store::storeGet(database.store, store::recordKey(id, store::kIdName)).found) {
      return id;
    }
  }
}

SaveOutcome DirectoryView::saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived) {
  if (refusedBeforeSave(kind, name, owner)) return {};
  const bool isAnimal = kind == "animal";  // the only kind with an owner
  const bool isNew = id.empty();
  store::RecordBatch batch;
  batch.records.push_back(makeRecord(std::move(id), std::move(kind), std::move(name), std::move(detail), owner,
                                     archived, database.store.sequence));
  store::Record& record = batch.records.front();
  if (isNew) record.id = makeNewId(record.kind);
  if (!store::validateRecord(record)) {
    status_ = refused("Record validation failed");
    return {};
  }
  if (isAnimal) {
    batch.edges.push_back(makeOwnerEdge(record.id, std::move(owner)));
    if (!store::validateEdge(batch.edges.front())) {
      status_ = refused("Relationship validation failed");
      return {};
    }
  }
  return commitBatch(batch);
}

bool DirectoryView::reloadIfChanged() {
  if (status_.kind == Kind::kNotSaved &&
      store::lockStoreDirectory(dataDirectory, nullptr, store::kStoreReadLockWaitMilliseconds) != nullptr) {
    status_ = readingStatus();  // what refused the save is over
  }
  // The files are compared with the database when the latest reading took saves, or records went
  // missing from an open store; any other reading is made again.
  if (reading_.missing ? database.store.ok : readingStatus().kind == Kind::kReady) {
    const store::StoreFilesCheck files = store::checkStoreFiles(database.store);
    if (reading_.missing && files == store::StoreFilesCheck::kSame) {
      const ViewStatus lastReading = readingStatus();
      reading_.missing = false;
      reading_.found = OpenFound::of(database.store);
      followReading(lastReading, reading_.pending);
    }
    if (files == store::StoreFilesCheck::kSame || (files == store::StoreFilesCheck::kUnreadable && !reading_.missing)) {
      return false;
    }
  }
  return readStore(ReadingOccasion::kAgain);
}

void DirectoryView::showConflict(Text words) { status_ = {Kind::kConflict, {}, {}, std::move(words)}; }

void DirectoryView::endConflict() {
  if (status_.kind == Kind::kConflict) status_ = readingStatus();
}

bool DirectoryView::refusedBeforeSave(const Text& kind, const Text& name, const Text& owner) {
  if (name.empty()) {
    status_ = refused("A name is required");
    return true;
  }
  if (const ViewStatus refusal = refusalOfReading(); refusal.kind != Kind::kReady) {
    status_ = refusal;  // whatever the status said before
    return true;
  }
  if (kind != "animal") return false;
  const std::int32_t ownerIndex = store::findRecordIndex(database, owner);
  if (ownerIndex < 0) {
    status_ = refused("Enter an existing customer ID");
    return true;
  }
  const store::Record& ownerRecord = database.records[static_cast<std::size_t>(ownerIndex)];
  if (ownerRecord.kind == "customer" && !isArchived(ownerRecord)) return false;
  status_ = refused("Choose an active customer");
  return true;
}

SaveOutcome DirectoryView::commitBatch(const store::RecordBatch& batch) {
  SaveOutcome outcome;
  outcome.written = writtenOf(batch.records.front());
  store::SnapshotIdentity kept;
  // Put on a copy: a failed put's records are no part of the store, also when the read-back takes
  // nothing (another program's commit in flight) and the database stays.
  store::Database next = database;
  const bool committed = store::putBatch(next, batch, &kept);
  const store::StoreTrouble trouble = next.store.trouble;
  if (committed) reading_.database = std::move(next);
  // What is durably stored is read back either way: the database in memory may disagree with the
  // files after a failed put. The write-ahead file this commit kept is its own: no commit writes
  // it. A store gone meanwhile leaves nothing to read, and the failed put nothing to keep.
  reading_.settledFile = kept;
  if (kept.present) reading_.pending = outcome.written;
  readStore(ReadingOccasion::kSaveReadBack);
  lastSavedId.clear();
  // A commit that failed after its file was kept stored the record when the store read back holds
  // it as written; one that kept no file cannot have stored anything, however alike a record
  // another program saved.
  if (committed || (kept.present && !reading_.missing && holdsWritten(database, outcome.written))) {
    const bool waits = !committed && reading_.settledFile.present;
    outcome.result = waits ? SaveResult::kKept : SaveResult::kSaved;
    if (committed) reading_.pending.reset();  // a kept one waits; the reading settled any other
    status_ = reading_.missing
                  ? readingStatus()
                  : ViewStatus{waits ? Kind::kKept : Kind::kSaved, outcome.written, reading_.found.trouble};
    lastSavedId = outcome.written.id;
    return outcome;
  }
  // A later open may still take its write-ahead file as the store's state.
  outcome.writeAheadLeft = kept.present;
  outcome.result = reading_.missing ? SaveResult::kStoreGone : SaveResult::kNotKept;
  if (const ViewStatus refusal = refusalOfReading(); refusal.kind != Kind::kReady) {
    status_ = refusal;  // records missing, the store waits, or it cannot be read
  } else {
    status_ = notSavedFor(trouble);
  }
  return outcome;
}

bool DirectoryView::readStore(ReadingOccasion occasion) {
  const ViewStatus lastReading = readingStatus();
  const std::optional<WrittenRecord> pending = reading_.pending;
  store::Database opened;
  const auto unreadable = [this, &opened](const char* why) {
    opened.store = store::makeFailedStoreState(dataDirectory, why);
  };
  try {
    opened =
        store::openDatabase(dataDirectory, reading_.storeRead ? store::OpenMode::kExisting : store::OpenMode::kCreate);
  } catch (const runtime::vusk_runtime_exception& error) {
    unreadable(error.what());  // a file that cannot be read
  } catch (const std::invalid_argument& error) {
    unreadable(error.what());  // a stored text holding a zero byte
  }
  reading_ = nextReading(std::move(reading_), std::move(opened), occasion);
  if (occasion != ReadingOccasion::kSaveReadBack) followReading(lastReading, pending);
  const store::OpenOutcome found = reading_.found.opened;
  return takesDatabase(found) && (!reading_.missing || (found == store::OpenOutcome::kFilesMissing &&
                                                        occasion == ReadingOccasion::kSaveReadBack));
}

void DirectoryView::followReading(const ViewStatus& lastReading, const std::optional<WrittenRecord>& pending) {
  ReadingChange change;
  change.reading = readingStatus();
  if (pending && !reading_.missing && holdsWritten(database, *pending)) {
    if (change.reading.kind == Kind::kReady) change.found = ViewStatus{Kind::kSaved, *pending};
    if (change.reading.kind == Kind::kSavesWait) change.found = ViewStatus{Kind::kKept, *pending, change.reading.cause};
  }
  change.newTrouble = change.reading.kind != Kind::kReady && change.reading != lastReading;
  change.savedGone = status_.kind == Kind::kSaved && !reading_.missing && !holdsWritten(database, status_.save);
  status_ = statusAfterReading(status_, change);
}

ViewStatus DirectoryView::readingStatus() const {
  if (reading_.missing) return {Kind::kStoreMissing};
  const OpenFound& found = reading_.found;
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

ViewStatus DirectoryView::refusalOfReading() const {
  ViewStatus reading = readingStatus();
  if (reading.kind == Kind::kSavesWait) reading.kind = Kind::kNotSavedWaiting;
  if (reading.kind == Kind::kBeingWritten) reading.kind = Kind::kNotSaved;  // the lock not had
  return reading;
}

void DirectoryView::seedDemoData() {
  if (readingStatus().kind != Kind::kReady || !database.records.empty()) return;
  saveRecord("customer-1", "customer", "Marta Quillfeather", "marta.quillfeather@example.test", "", false) &&
      saveRecord("customer-2", "customer", "Tobias Wrenhollow", "tobias.wrenhollow@example.test", "", false) &&
      saveRecord("animal-3", "animal", "Mochi", "Cat / annual wellness", "customer-1", false) &&
      saveRecord("animal-4", "animal", "Juniper", "Dog / vaccination review", "customer-2", false) &&
      saveRecord("animal-5", "animal", "Clover", "Rabbit / routine visit", "customer-1", false);
}

}  // namespace app
