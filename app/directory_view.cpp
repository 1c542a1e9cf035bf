#include "app/directory_view.hpp"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <utility>

#include "app/record_fields.hpp"
#include "runtime/runtime_error.hpp"
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

DirectoryView::DirectoryView(Text directory) : dataDirectory(std::move(directory)) {
  reading_ = nextReading({}, store::openDatabase(dataDirectory), ReadingOccasion::kFirst);
  status_ = readingStatus(reading_);
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
  if (refusedBeforeSave(id, kind, name, owner)) return {};
  const bool isAnimal = kind == "animal";  // the only kind with an owner
  const bool isNew = id.empty();
  store::RecordBatch batch;
  batch.records.push_back(makeRecord(std::move(id), std::move(kind), std::move(name), std::move(detail), owner,
                                     archived, database.store.sequence));
  store::Record& record = batch.records.front();
  if (isNew) record.id = makeNewId(record.kind);
  if (!store::validateRecord(record)) {
    status_ = refusalOfForm(FormRefusal::kRecordInvalid, record.id);
    return {};
  }
  if (isAnimal) {
    batch.edges.push_back(makeOwnerEdge(record.id, std::move(owner)));
    if (!store::validateEdge(batch.edges.front())) {
      status_ = refusalOfForm(FormRefusal::kEdgeInvalid, record.id);
      return {};
    }
  }
  return commitBatch(batch);
}

bool DirectoryView::reloadIfChanged() {
  // The files are compared with the database when the latest reading took saves and the status
  // waits for no reading; otherwise the store is read again.
  if (readingStatus(reading_).kind == ViewStatus::Kind::kReady && !awaitsReading(status_)) {
    const store::StoreFilesCheck files = store::checkStoreFiles(database.store);
    if (files == store::StoreFilesCheck::kSame || files == store::StoreFilesCheck::kUnreadable) return false;
  }
  return readStore();
}

void DirectoryView::showConflict(Text words) { status_ = conflictStatus(std::move(words)); }

void DirectoryView::endConflict() { status_ = afterConflict(status_, reading_); }

bool DirectoryView::refusedBeforeSave(const Text& id, const Text& kind, const Text& name, const Text& owner) {
  if (name.empty()) {
    status_ = refusalOfForm(FormRefusal::kNameRequired, id);
    return true;
  }
  if (const ViewStatus refusal = refusalOfReading(reading_, id); refusal.kind != ViewStatus::Kind::kReady) {
    status_ = refusal;  // whatever the status said before
    return true;
  }
  if (kind != "animal") return false;
  const std::int32_t ownerIndex = store::findRecordIndex(database, owner);
  if (ownerIndex < 0) {
    status_ = refusalOfForm(FormRefusal::kOwnerUnknown, id);
    return true;
  }
  const store::Record& ownerRecord = database.records[static_cast<std::size_t>(ownerIndex)];
  if (ownerRecord.kind == "customer" && !isArchived(ownerRecord)) return false;
  status_ = refusalOfForm(FormRefusal::kOwnerNotActive, id);
  return true;
}

SaveOutcome DirectoryView::commitBatch(const store::RecordBatch& batch) {
  SaveCommit commit;
  commit.written = writtenOf(batch.records.front());
  // Put on a copy: a failed put's records are no part of the store.
  store::Database committed = database;
  commit.moved = store::putBatch(committed, batch, &commit.keptFile);
  commit.trouble = committed.store.trouble;
  // What is durably stored is read back either way: the database in memory may disagree with the
  // files after a failed put.
  store::Database opened = openStore();
  reading_ = readBack(std::move(reading_), commit, std::move(committed), std::move(opened));
  const SaveDecision decision = decideSave(commit, reading_);
  status_ = decision.status;
  SaveOutcome outcome{decision.result, commit.written};
  lastSavedId = outcome ? outcome.written.id : Text();
  // A later open may still take the write-ahead file of a save not kept as the store's state.
  outcome.writeAheadLeft = !outcome && commit.keptFile.present;
  return outcome;
}

store::Database DirectoryView::openStore() const {
  const auto unreadable = [this](const char* why) {
    store::Database failed;
    failed.store = store::makeFailedStoreState(dataDirectory, why);
    return failed;
  };
  try {
    return store::openDatabase(dataDirectory,
                               reading_.storeRead ? store::OpenMode::kExisting : store::OpenMode::kCreate);
  } catch (const runtime::vusk_runtime_exception& error) {
    return unreadable(error.what());  // a file that cannot be read
  } catch (const std::invalid_argument& error) {
    return unreadable(error.what());  // a stored text holding a zero byte
  }
}

bool DirectoryView::readStore() {
  const ReadingBefore before{readingStatus(reading_), reading_.pending, database.store.sequence};
  store::Database opened = openStore();
  reading_ = nextReading(std::move(reading_), std::move(opened), ReadingOccasion::kAgain);
  status_ = statusAfterReading(status_, before, reading_);
  return takesDatabase(reading_.found.opened) && !reading_.missing;
}

void DirectoryView::seedDemoData() {
  if (readingStatus(reading_).kind != ViewStatus::Kind::kReady || !database.records.empty()) return;
  saveRecord("customer-1", "customer", "Marta Quillfeather", "marta.quillfeather@example.test", "", false) &&
      saveRecord("customer-2", "customer", "Tobias Wrenhollow", "tobias.wrenhollow@example.test", "", false) &&
      saveRecord("animal-3", "animal", "Mochi", "Cat / annual wellness", "customer-1", false) &&
      saveRecord("animal-4", "animal", "Juniper", "Dog / vaccination review", "customer-2", false) &&
      saveRecord("animal-5", "animal", "Clover", "Rabbit / routine visit", "customer-1", false);
}

}  // namespace app
