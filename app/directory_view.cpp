#include "app/directory_view.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

#include "app/record_fields.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
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

}  // namespace

bool holdsWritten(const store::Database& database, const WrittenRecord& written) {
  const std::int32_t index = store::findRecordIndex(database, written.id);
  if (index < 0) return false;
  const store::Record& stored = database.records[static_cast<std::size_t>(index)];
  return stored.kind == written.kind && recordFieldsOf(stored) == written.fields && stored.updated == written.updated;
}

DirectoryView::DirectoryView(Text directory) : dataDirectory(std::move(directory)) {
  reopen(true);
  if (!database.store.ok) showReading(readingText());
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
  if (std::optional<Text> refused = refusalBeforeSave(kind, name, owner); refused.has_value()) {
    status = std::move(*refused);
    return {};
  }
  const bool isAnimal = kind == "animal";  // the only kind with an owner
  const bool isNew = id.empty();
  store::RecordBatch batch;
  batch.records.push_back(makeRecord(std::move(id), std::move(kind), std::move(name), std::move(detail), owner,
                                     archived, database.store.sequence));
  store::Record& record = batch.records.front();
  if (isNew) record.id = makeNewId(record.kind);
  if (!store::validateRecord(record)) {
    status = kStatusRecordInvalid;
    return {};
  }
  if (isAnimal) {
    batch.edges.push_back(makeOwnerEdge(record.id, std::move(owner)));
    if (!store::validateEdge(batch.edges.front())) {
      status = kStatusEdgeInvalid;
      return {};
    }
  }
  return commitBatch(batch);
}

bool DirectoryView::reloadIfChanged() {
  // What was read stays listed while the store is away; the next save says so.
  if (storeGone()) return false;
  if (database.store.ok && store::checkStoreFiles(database.store) != store::StoreFilesCheck::kChanged) {
    // The store is there as it was read (also put back whole): a status of its absence is over.
    if (status == readingStatus_) showReading(kStatusReady);
    return false;
  }
  const bool statusOfReading = status == readingStatus_;
  const Text readBefore = readingStatus_;
  const bool keptShown = !keptId_.empty() && status == keptStatus(keptId_);
  if (!reopen(true)) return false;
  if (database.store.ok && keptShown) {
    // The write-ahead file that kept the save was moved into place, by this reading or another
    // program's open.
    status = store::findRecordIndex(database, keptId_) >= 0 ? "Saved " + keptId_ : Text(kStatusReady);
    keptId_.clear();
    return true;
  }
  // A failed reading tells of its failure, unless the status already answers that very failure.
  const Text reading = readingText();
  if (statusOfReading || (!database.store.ok && reading != readBefore)) showReading(reading);
  return true;
}

Text DirectoryView::keptStatus(const Text& id) const {
  return database.store.ok ? "Saved " + id : "Kept " + id + kStatusKeptUnmoved;
}

std::optional<Text> DirectoryView::refusalBeforeSave(const Text& kind, const Text& name, const Text& owner) {
  if (name.empty()) return Text(kStatusNameRequired);
  if (storeGone()) {
    showReading(kStatusStoreMissing);
    return status;
  }
  // A database that is not open (its open failed, or the reopen after an earlier commit did) is
  // opened again: what kept it shut may be gone.
  if (!database.store.ok) reopen(true);
  if (!database.store.ok) {
    showReading(readingText());
    if (database.store.message == store::kWriteAheadNotPromoted) status = kStatusNotSavedUnmoved;
    return status;
  }
  if (kind != "animal") return std::nullopt;
  const std::int32_t ownerIndex = store::findRecordIndex(database, owner);
  if (ownerIndex < 0) return Text(kStatusUnknownOwner);
  const store::Record& ownerRecord = database.records[static_cast<std::size_t>(ownerIndex)];
  if (ownerRecord.kind != "customer" || isArchived(ownerRecord)) return Text(kStatusInactiveOwner);
  return std::nullopt;
}

SaveOutcome DirectoryView::commitBatch(const store::RecordBatch& batch) {
  SaveOutcome outcome;
  outcome.written = writtenOf(batch.records.front());
  const Text& id = outcome.written.id;
  store::SnapshotIdentity wal;
  const bool committed = store::putBatch(database, batch, &wal);
  // The in-memory database may disagree with the files after a failed put; read back what is
  // durably stored either way. A store gone meanwhile leaves nothing to read, and the failed put
  // nothing to keep.
  const bool present = reopen(false);
  lastSavedId.clear();
  keptId_.clear();
  // Reported as failed after its write-ahead file was written, and that file is what the store
  // read back holds: the record is stored, and saying otherwise would lead the user to save it
  // again as a second record. A commit that wrote no such file cannot have stored anything,
  // however alike a record another program saved; and after the commit let go of the lock,
  // another program's save may hold the id with other content.
  if (committed || (wal.present && holdsWritten(database, outcome.written))) {
    outcome.result = database.store.ok ? SaveResult::kSaved : SaveResult::kKept;
    if (!database.store.ok) {
      readingStatus_ = readingText();  // the status answers it
      keptId_ = id;
    }
    status = keptStatus(id);
    lastSavedId = id;
    return outcome;
  }
  // A later open may still take its write-ahead file as the store's state.
  outcome.writeAheadLeft = wal.present;
  if (!present) {
    showReading(kStatusStoreMissing);
    outcome.result = SaveResult::kStoreGone;
    return outcome;
  }
  outcome.result = SaveResult::kNotKept;
  status = database.store.message == store::kWriteAheadNotPromoted ? kStatusNotSavedUnmoved : kStatusCommitFailed;
  if (!database.store.ok) readingStatus_ = readingText();
  return outcome;
}

bool DirectoryView::storeGone() const { return storeRead_ && !store::storeFilesPresent(dataDirectory); }

bool DirectoryView::reopen(bool keepWhenGone) {
  store::Database opened =
      store::openDatabase(dataDirectory, storeRead_ ? store::OpenMode::kExisting : store::OpenMode::kCreate);
  const bool gone = !opened.store.ok && opened.store.message == store::kStoreFilesMissing;
  if (gone && keepWhenGone) return false;
  database = std::move(opened);
  if (database.store.ok && !database.store.entries.empty()) storeRead_ = true;
  return !gone;
}

void DirectoryView::showReading(Text text) {
  status = text;
  readingStatus_ = std::move(text);
}

Text DirectoryView::readingText() const {
  if (database.store.ok) return kStatusReady;
  if (database.store.message == store::kWriteAheadNotPromoted) return kStatusSavesWait;
  return database.store.message;
}

void DirectoryView::seedDemoData() {
  if (!database.store.ok || !database.records.empty()) return;
  saveRecord("customer-1", "customer", "Marta Quillfeather", "marta.quillfeather@example.test", "", false);
  saveRecord("customer-2", "customer", "Tobias Wrenhollow", "tobias.wrenhollow@example.test", "", false);
  saveRecord("animal-3", "animal", "Mochi", "Cat / annual wellness", "customer-1", false);
  saveRecord("animal-4", "animal", "Juniper", "Dog / vaccination review", "customer-2", false);
  saveRecord("animal-5", "animal", "Clover", "Rabbit / routine visit", "customer-1", false);
}

}  // namespace app
