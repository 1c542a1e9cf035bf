#include "app/directory_view.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "app/record_fields.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/store_files.hpp"
#include "store/store_state.hpp"

namespace app {

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
  record.expires = 0;
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

ViewStatus refused(const char* why) { return {ViewStatus::Kind::kRefused, {}, {}, why}; }

// A status that tells of a write-ahead file that waits to be moved into place.
bool tellsOfWriteAhead(const ViewStatus& status) {
  using Kind = ViewStatus::Kind;
  return status.kind == Kind::kSavesWait || status.kind == Kind::kKept || status.kind == Kind::kNotSavedWaiting;
}

// A status that tells of the store's files as a reading finds them, rather than of the form or of
// a save's own outcome.
bool tellsOfStoreFiles(const ViewStatus& status) {
  using Kind = ViewStatus::Kind;
  return tellsOfWriteAhead(status) || status.kind == Kind::kReady || status.kind == Kind::kStoreMissing ||
         status.kind == Kind::kOpenFailed;
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

// A reading of a write-ahead file not moved into place: the store's state waits in it.
bool readFromWriteAhead(const store::Database& database) {
  return !database.store.ok && database.store.message == store::kWriteAheadNotPromoted;
}

// Why a store file could not be written or moved into place, after "Kept <id>; " or "Not saved; ".
const char* troubleWords(store::StoreTrouble trouble) {
  switch (trouble) {
    case store::StoreTrouble::kNoRoom:
      return "no room on the disk for the store file";
    case store::StoreTrouble::kNoPermission:
      return "no permission to write the store file";
    default:
      return "the store file could not be replaced yet";
  }
}

}  // namespace

Text statusText(const ViewStatus& status) {
  using Kind = ViewStatus::Kind;
  switch (status.kind) {
    case Kind::kReady:
      return kStatusReady;
    case Kind::kStoreMissing:
      return kStatusStoreMissing;
    case Kind::kSavesWait:
      if (status.cause == store::StoreTrouble::kNoRoom) return "Last save kept; saves wait for room on the disk";
      if (status.cause == store::StoreTrouble::kNoPermission) return "Last save kept; saves wait for permission";
      return kStatusSavesWait;
    case Kind::kSaved:
      return "Saved " + status.id;
    case Kind::kKept:
      return "Kept " + status.id + "; " + troubleWords(status.cause);
    case Kind::kNotSavedWaiting:
    case Kind::kNotWritten:
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

DirectoryView::DirectoryView(Text directory) : dataDirectory(std::move(directory)) {
  readStore(true);
  showReading();
}

DirectoryView::~DirectoryView() = default;

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
    setStatus(refused(kStatusRecordInvalid));
    return {};
  }
  if (isAnimal) {
    batch.edges.push_back(makeOwnerEdge(record.id, std::move(owner)));
    if (!store::validateEdge(batch.edges.front())) {
      setStatus(refused(kStatusEdgeInvalid));
      return {};
    }
  }
  return commitBatch(batch);
}

bool DirectoryView::reloadIfChanged() {
  // A store that took saves is read again only when its files changed; the very files back where
  // records were missing are the store as it was read.
  if (database.store.ok) {
    const store::StoreFilesCheck files = store::checkStoreFiles(database.store);
    if (missing_ && files == store::StoreFilesCheck::kSame) {
      missing_ = false;
      showReading();
    }
    if (files != store::StoreFilesCheck::kChanged) return false;
  }
  const bool taken = readStore(true);
  showReading();
  return taken;
}

void DirectoryView::confirmSave(const WrittenRecord& written) {
  lastReading_ = readingStatus();
  kept_.reset();
  if (database.store.ok) {
    setStatus({ViewStatus::Kind::kSaved, written.id});
    return;
  }
  kept_ = written;
  setStatus({ViewStatus::Kind::kKept, written.id, database.store.trouble});
}

void DirectoryView::showConflict(Text words) { setStatus({ViewStatus::Kind::kConflict, {}, {}, std::move(words)}); }

void DirectoryView::endConflict() {
  if (status_.kind == ViewStatus::Kind::kConflict) setStatus(readingStatus());
}

bool DirectoryView::refusedBeforeSave(const Text& kind, const Text& name, const Text& owner) {
  if (name.empty()) {
    setStatus(refused(kStatusNameRequired));
    return true;
  }
  // A database that is not open (its open failed, or the reopen after an earlier commit did), or
  // whose records are missing or whose files went, is read again first: what kept it may be over.
  if (missing_ || !database.store.ok || (storeRead_ && !store::storeFilesPresent(dataDirectory))) {
    readStore(true);
    showReading();
  }
  if (missing_ || !database.store.ok) {
    // Refused for what the reading found, whatever the status said before.
    const ViewStatus reading = readingStatus();
    setStatus(reading.kind == ViewStatus::Kind::kSavesWait
                  ? ViewStatus{ViewStatus::Kind::kNotSavedWaiting, {}, reading.cause}
                  : reading);
    return true;
  }
  if (kind != "animal") return false;
  const std::int32_t ownerIndex = store::findRecordIndex(database, owner);
  if (ownerIndex < 0) {
    setStatus(refused(kStatusUnknownOwner));
    return true;
  }
  const store::Record& ownerRecord = database.records[static_cast<std::size_t>(ownerIndex)];
  if (ownerRecord.kind == "customer" && !isArchived(ownerRecord)) return false;
  setStatus(refused(kStatusInactiveOwner));
  return true;
}

SaveOutcome DirectoryView::commitBatch(const store::RecordBatch& batch) {
  SaveOutcome outcome;
  outcome.written = writtenOf(batch.records.front());
  store::SnapshotIdentity kept;
  const bool committed = store::putBatch(database, batch, &kept);
  const store::StoreTrouble trouble = database.store.trouble;
  // The in-memory database may disagree with the files after a failed put; read back what is
  // durably stored either way. A store gone meanwhile leaves nothing to read, and the failed put
  // nothing to keep.
  readStore(false);
  lastSavedId.clear();
  // Reported failed after its file was kept, and that file is what the store read back holds: the
  // record is stored, and saying otherwise would lead the user to save it again as a second
  // record. A commit that kept no file cannot have stored anything, however alike a record another
  // program saved; and after the commit let go of the lock, another program's save may hold the
  // id with other content.
  if (committed || (kept.present && holdsWritten(database, outcome.written))) {
    outcome.result = database.store.ok ? SaveResult::kSaved : SaveResult::kKept;
    mustHold_ = mustHold_ || !database.store.ok;  // its own kept file: no commit writes it
    confirmSave(outcome.written);
    lastSavedId = outcome.written.id;
    return outcome;
  }
  kept_.reset();
  lastReading_ = readingStatus();  // the status below answers this reading
  // A later open may still take its write-ahead file as the store's state.
  outcome.writeAheadLeft = kept.present;
  if (missing_) {
    outcome.result = SaveResult::kStoreGone;
    setStatus({ViewStatus::Kind::kStoreMissing});
    return outcome;
  }
  outcome.result = SaveResult::kNotKept;
  if (readFromWriteAhead(database)) {
    setStatus({ViewStatus::Kind::kNotSavedWaiting, {}, database.store.trouble});
  } else if (trouble == store::StoreTrouble::kNoRoom || trouble == store::StoreTrouble::kNoPermission) {
    setStatus({ViewStatus::Kind::kNotWritten, {}, trouble});
  } else {
    setStatus({ViewStatus::Kind::kCommitFailed});
  }
  return outcome;
}

bool DirectoryView::readStore(bool keepWhenGone) {
  store::Database opened =
      store::openDatabase(dataDirectory, storeRead_ ? store::OpenMode::kExisting : store::OpenMode::kCreate);
  const bool gone = !opened.store.ok && opened.store.message == store::kStoreFilesMissing;
  missing_ = gone || (mustHold_ && !holdsEveryRecord(opened, database));
  if (missing_ && (keepWhenGone || !gone)) return false;
  // A write-ahead file read under the directory's lock is no commit's still being written; nor is
  // the same file read again.
  const store::StoreState& read = opened.store;
  mustHold_ = readFromWriteAhead(opened) && (read.trouble != store::StoreTrouble::kLockNotHad ||
                                             (mustHold_ && read.writeAheadOnDisk == database.store.writeAheadOnDisk));
  database = std::move(opened);
  if ((database.store.ok || readFromWriteAhead(database)) && !database.store.entries.empty()) storeRead_ = true;
  return true;
}

ViewStatus DirectoryView::readingStatus() const {
  if (missing_) return {ViewStatus::Kind::kStoreMissing};
  if (database.store.ok) return {};
  if (readFromWriteAhead(database)) return {ViewStatus::Kind::kSavesWait, {}, database.store.trouble};
  if (database.store.message == store::kStoreFilesMissing) return {ViewStatus::Kind::kStoreMissing};
  return {ViewStatus::Kind::kOpenFailed, {}, {}, database.store.message};
}

void DirectoryView::showReading() {
  const ViewStatus reading = readingStatus();
  const bool fresh = reading != lastReading_;
  lastReading_ = reading;
  if (reading.kind == ViewStatus::Kind::kReady) {
    // A kept save is in place now, moved by this reading or another program's open; it is saved
    // when the store holds it as written.
    const std::optional<WrittenRecord> kept = std::exchange(kept_, std::nullopt);
    if (!tellsOfStoreFiles(status_)) return;
    setStatus(kept && holdsWritten(database, *kept) ? ViewStatus{ViewStatus::Kind::kSaved, kept->id} : reading);
    return;
  }
  // A kept save, or a save refused while the store waits, still tells what this reading found.
  if (tellsOfWriteAhead(status_) && reading.kind == ViewStatus::Kind::kSavesWait) return;
  if (fresh || tellsOfStoreFiles(status_)) setStatus(reading);
}

void DirectoryView::setStatus(ViewStatus status) { status_ = std::move(status); }

void DirectoryView::seedDemoData() {
  if (!database.store.ok || !database.records.empty()) return;
  saveRecord("customer-1", "customer", "Marta Quillfeather", "marta.quillfeather@example.test", "", false);
  saveRecord("customer-2", "customer", "Tobias Wrenhollow", "tobias.wrenhollow@example.test", "", false);
  saveRecord("animal-3", "animal", "Mochi", "Cat / annual wellness", "customer-1", false);
  saveRecord("animal-4", "animal", "Juniper", "Dog / vaccination review", "customer-2", false);
  saveRecord("animal-5", "animal", "Clover", "Rabbit / routine visit", "customer-1", false);
}

}  // namespace app
