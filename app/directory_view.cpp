#include "app/directory_view.hpp"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

#include "runtime/files.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/store_state.hpp"

namespace app {

namespace {

store::Property makeProperty(Text key, Text value) { return store::Property{std::move(key), std::move(value)}; }

// The record's update time: one past the commit the save will make. Saturates instead of
// overflowing when the store's sequence is near the top of its range.
std::int32_t updatedTime(std::int32_t sequence) {
  const std::int64_t next = static_cast<std::int64_t>(sequence) + 2;
  return next > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                         : static_cast<std::int32_t>(next);
}

// True when the directory is definitely no longer there (removed, renamed, or replaced by a
// file while the program ran). A status that cannot be read is not taken for absence.
bool directoryWentMissing(const Text& directory) {
  const std::optional<std::filesystem::path> native = runtime::nativePathOf(directory);
  // A directory name that is not UTF-8 names nothing that could go missing.
  if (!native.has_value()) return false;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(*native, error);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  return !error && !std::filesystem::is_directory(status);
}

// Whether the database holds the record with the submitted fields and, for an animal, its owner
// edge: a commit reported as failed may still have reached the disk (the reopen promotes a
// complete write-ahead file).
bool storedAsSubmitted(const store::Database& database, const store::Record& record, const store::Edge* edge) {
  const std::int32_t index = store::findRecordIndex(database, record.id);
  if (index < 0) return false;
  const store::Record& stored = database.records[static_cast<std::size_t>(index)];
  if (stored.kind != record.kind || stored.content != record.content || stored.lifecycle != record.lifecycle) {
    return false;
  }
  for (const char* key : {"detail", "owner"}) {
    if (store::recordProperty(stored, key) != store::recordProperty(record, key)) return false;
  }
  if (edge == nullptr) return true;
  for (const store::Edge& storedEdge : database.edges) {
    if (storedEdge.id == edge->id) {
      return storedEdge.from == edge->from && storedEdge.to == edge->to && storedEdge.kind == edge->kind;
    }
  }
  return false;
}

// The record a form submission saves.
store::Record makeRecord(const Text& id, Text kind, Text name, Text detail, const Text& owner, bool archived,
                         std::int32_t sequence) {
  store::Record record;
  record.id = id;
  record.tenant = "oreb-demo";
  record.space = "clinic";
  record.container = "directory";
  record.kind = std::move(kind);
  record.content = std::move(name);
  record.created = 1;
  record.updated = updatedTime(sequence);
  record.expires = 0;
  record.classification = "public";
  record.lifecycle = archived ? "archival" : "canonical";
  record.purpose = "demo";
  record.properties = {makeProperty("detail", std::move(detail)), makeProperty("owner", owner)};
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

}  // namespace

DirectoryView::DirectoryView(Text directory) : dataDirectory(std::move(directory)) {
  database = store::openDatabase(dataDirectory);
  if (!database.store.ok) status = database.store.message;
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

std::optional<Text> DirectoryView::unconfirmedNewId(const Text& kind, const Text& name, const Text& detail,
                                                    const Text& owner, bool archived) const {
  if (unconfirmedId_.empty()) return std::nullopt;
  const store::Record record = makeRecord(unconfirmedId_, kind, name, detail, owner, archived, 0);
  const store::Edge edge = makeOwnerEdge(unconfirmedId_, owner);
  if (!storedAsSubmitted(database, record, kind == "animal" ? &edge : nullptr)) return std::nullopt;
  return unconfirmedId_;
}

bool DirectoryView::saveRecord(Text id, Text kind, Text name, Text detail, Text owner, bool archived) {
  // A database that is not open (its open failed, or the reopen after an earlier commit did) is
  // opened again: what kept it shut may be gone.
  if (!name.empty() && !database.store.ok) database = store::openDatabase(dataDirectory);
  if (std::optional<Text> refused = refusalBeforeSave(kind, name, owner); refused.has_value()) {
    status = std::move(*refused);
    return false;
  }
  const bool isAnimal = kind == "animal";  // the only kind with an owner
  const bool isNew = id.empty();
  if (isNew) {
    std::optional<Text> stored = unconfirmedNewId(kind, name, detail, owner, archived);
    id = stored.has_value() ? std::move(*stored) : makeNewId(kind);
  }

  store::RecordBatch batch;
  batch.records.push_back(
      makeRecord(id, std::move(kind), std::move(name), std::move(detail), owner, archived, database.store.sequence));
  if (!store::validateRecord(batch.records.front())) {
    status = kStatusRecordInvalid;
    return false;
  }
  if (isAnimal) {
    batch.edges.push_back(makeOwnerEdge(id, std::move(owner)));
    if (!store::validateEdge(batch.edges.front())) {
      status = kStatusEdgeInvalid;
      return false;
    }
  }
  return commitBatch(batch, isNew);
}

bool DirectoryView::reloadIfChanged() {
  if (database.store.ok) {
    // An open database is not traded for the empty directory that opening would make in place
    // of one that went missing; the next save says it went missing.
    if (directoryWentMissing(dataDirectory)) return false;
    if (store::checkSnapshotFile(database.store) != store::SnapshotFileCheck::kChanged) return false;
  }
  database = store::openDatabase(dataDirectory);
  if (!database.store.ok) status = database.store.message;
  return true;
}

std::optional<Text> DirectoryView::refusalBeforeSave(const Text& kind, const Text& name, const Text& owner) const {
  if (name.empty()) return Text(kStatusNameRequired);
  if (!database.store.ok) return database.store.message;
  if (kind != "animal") return std::nullopt;
  const std::int32_t ownerIndex = store::findRecordIndex(database, owner);
  if (ownerIndex < 0) return Text(kStatusUnknownOwner);
  const store::Record& ownerRecord = database.records[static_cast<std::size_t>(ownerIndex)];
  if (ownerRecord.kind != "customer" || ownerRecord.lifecycle == "archival") return Text(kStatusInactiveOwner);
  return std::nullopt;
}

bool DirectoryView::commitBatch(const store::RecordBatch& batch, bool newRecord) {
  const store::Record& record = batch.records.front();
  const std::int32_t sequenceBefore = database.store.sequence;
  bool ok = store::putBatch(database, batch);
  const bool directoryMissing = !ok && directoryWentMissing(dataDirectory);
  // The in-memory database may disagree with the files after a failed put; read back what is
  // durably stored either way.
  database = store::openDatabase(dataDirectory);
  status = "Saved " + record.id;
  lastSavedId.clear();
  if (!ok && !directoryMissing) {
    // Reported as failed but on disk all the same: saying otherwise would lead the user to save
    // again and make a duplicate record.
    ok = database.store.ok && database.store.sequence > sequenceBefore &&
         storedAsSubmitted(database, record, batch.edges.empty() ? nullptr : &batch.edges.front());
  }
  if (!ok) {
    status = directoryMissing ? kStatusDirectoryMissing : kStatusCommitFailed;
    // Its write-ahead file may still be promoted by a later open.
    if (newRecord) unconfirmedId_ = record.id;
    return false;
  }
  lastSavedId = record.id;
  if (record.id == unconfirmedId_) unconfirmedId_.clear();
  return true;
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
