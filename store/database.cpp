// Opening a database: directory check, snapshot load, write-ahead recovery, catalog walks.
#include "store/database.hpp"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "runtime/file_system.hpp"
#include "runtime/files.hpp"
#include "runtime/slot_index.hpp"
#include "store/record_keys.hpp"
#include "store/record_reader.hpp"
#include "store/snapshot_codec.hpp"

namespace store {

namespace {

using runtime::intToText;

// Creates the last path component when it is missing; true when a directory is there. The
// directory's name is made durable in its parent before anything is committed into it, whether
// this run created it or found it without a snapshot file (made by a run killed before its
// flush): otherwise a power cut could take the directory, and a commit that answered true, away.
bool directoryAvailable(const Text& directory) {
  // The system would end the path at a zero byte and create some other directory.
  if (directory.empty() || directory.find('\0') != Text::npos) return false;
  using Creation = runtime::FileSystem::DirectoryCreation;
  switch (runtime::currentFileSystem().createDirectory(directory)) {
    case Creation::kPresent:
      // A directory that holds a snapshot file had its name made durable before that commit.
      if (runtime::fileExists(snapshotPath(directory))) return true;
      [[fallthrough]];
    case Creation::kCreated:
      try {
        return runtime::syncDirectory(runtime::parentDirectory(directory));
      } catch (const std::filesystem::filesystem_error&) {
        return false;  // not UTF-8; no directory could have been found or created
      }
    case Creation::kUnavailable:
      break;
  }
  return false;
}

// The snapshot file's state, with the identity of the bytes read. Without a file: a fresh state,
// or for kExisting a failed one.
StoreState loadSnapshot(const Text& directory, OpenMode mode) {
  const Text file = snapshotPath(directory);
  if (!runtime::fileExists(file)) {
    return mode == OpenMode::kCreate ? makeStoreState(directory)
                                     : makeFailedStoreState(directory, kStoreFilesMissing, OpenOutcome::kFilesMissing);
  }
  const Bytes bytes = runtime::readFileBytes(file, kMaxSnapshotFileBytes);
  StoreState state = decodeSnapshot(bytes, directory);
  state.snapshotOnDisk = snapshotIdentityOf(bytes);
  return state;
}

StoreState recoverStore(const Text& directory, OpenMode mode) {
  const Text wal = walPath(directory);
  if (!runtime::fileExists(wal)) return loadSnapshot(directory, mode);
  // A write-ahead file is settled under the directory's lock: another program's commit in
  // progress has one that is not abandoned, and the lock is had only once that commit ended.
  // While another program holds it, its file may still be given up: nothing of it is read. Where
  // the lock cannot be had at all (a read-only directory) the files are read but nothing is
  // promoted or deleted.
  StoreTrouble trouble = StoreTrouble::kNone;
  const std::unique_ptr<runtime::FileSystem::Lock> lock =
      lockStoreDirectory(directory, &trouble, kStoreReadLockWaitMilliseconds);
  const bool locked = lock != nullptr;
  StoreState snapshot = loadSnapshot(directory, mode);
  if (!runtime::fileExists(wal)) return snapshot;  // the commit that held the lock ended
  if (!locked && trouble == StoreTrouble::kLockNotHad) {
    StoreState before = snapshot.ok ? std::move(snapshot) : makeStoreState(directory);
    before.ok = false;
    before.message = kWriteAheadInFlight;
    before.trouble = trouble;
    before.opened = OpenOutcome::kWriteAheadInFlight;
    return before;
  }
  const Bytes aheadBytes = runtime::readFileBytes(wal, kMaxSnapshotFileBytes);
  StoreState ahead = decodeSnapshot(aheadBytes, directory);
  if (!writeAheadTakesOver(ahead, snapshot.ok, snapshot.sequence)) {
    // Torn, or older than the snapshot: no commit's state.
    if (snapshot.ok && locked) runtime::deleteFileQuietly(wal);
    return snapshot;
  }
  const Bytes promoted = encodeSnapshot(ahead);
  if (locked && promoteSnapshot(directory, promoted, &trouble)) {
    runtime::deleteFileQuietly(wal);
    ahead.snapshotOnDisk = snapshotIdentityOf(promoted);
  } else {
    // The write-ahead file stays the store's state beside the snapshot file, as read.
    ahead.ok = false;
    ahead.message = kWriteAheadNotPromoted;
    ahead.snapshotOnDisk = std::move(snapshot.snapshotOnDisk);
    ahead.writeAheadOnDisk = snapshotIdentityOf(aheadBytes);
    ahead.trouble = trouble;
    ahead.opened = locked ? OpenOutcome::kWriteAheadLocked : OpenOutcome::kWriteAheadUnlocked;
  }
  return ahead;
}

// The entries of the catalog's slots below the limit, in slot order, each the first entry of its
// key as a lookup finds it (a marked one included). With the key order settled the catalog's own
// keys are read in one pass, each slot's spelling parsed, instead of one search per slot.
std::vector<const StoreEntry*> catalogSlots(const StoreEntryList& entries, std::string_view catalog,
                                            std::int32_t limit) {
  std::vector<std::pair<std::int32_t, const StoreEntry*>> slots;
  Text key = fieldKey(catalog, "");
  const std::size_t stem = key.size();
  if (const auto all = entries.orderedKeys(); all.has_value()) {
    std::vector<std::int32_t> unused;
    const std::vector<std::int32_t>& order = entries.keyOrder(unused);
    const StoreEntryList::KeyRange range = entries.keysWithPrefix(key, *all);
    const StoreEntry* previous = nullptr;
    for (std::size_t position = range.first; position < range.last; ++position) {
      const StoreEntry& entry = entries[static_cast<std::size_t>(order[position])];
      // Repeated keys stand together, the first of them first.
      if (previous != nullptr && previous->key == entry.key) continue;
      previous = &entry;
      const std::int32_t slot = slotNumber(std::string_view(entry.key).substr(stem), limit);
      if (slot >= 0) slots.emplace_back(slot, &entry);
    }
    std::sort(slots.begin(), slots.end());
  } else {
    for (std::int32_t i = 0; i < limit; ++i) {
      key.resize(stem);
      key += intToText(i);
      const std::int32_t at = entries.find(key);
      if (at >= 0) slots.emplace_back(i, &entries[static_cast<std::size_t>(at)]);
    }
  }
  std::vector<const StoreEntry*> found;
  found.reserve(slots.size());
  for (const auto& slot : slots) found.push_back(slot.second);
  return found;
}

// The ids named by the catalog's "<catalog>/count" slots (at most 65536), in slot order, each
// once: a catalog that names one id in many slots would otherwise load a copy of the same item
// per slot, and a store file of a few megabytes could ask for that many copies of a record of a
// megabyte and exhaust memory. The store itself never names an id twice. The ids point into the
// state.
std::vector<const Text*> catalogIds(const StoreState& state, std::string_view catalog) {
  const StoreLookup count = storeGet(state, fieldKey(catalog, kCountWord));
  const std::int32_t n = count.found ? runtime::parseInt(count.value) : 0;
  std::vector<const Text*> ids;
  if (n <= 0) return ids;
  runtime::SlotIndex seen;
  auto idAt = [&ids](std::int32_t i) -> std::string_view { return *ids[static_cast<std::size_t>(i)]; };
  for (const StoreEntry* slot : catalogSlots(state.entries, catalog, std::min(n, kMaxCatalogSlots))) {
    if (slot->deleted) continue;
    const auto last = static_cast<std::int32_t>(ids.size());
    ids.push_back(&slot->value);
    if (seen.insert(slot->value, runtime::SlotIndex::hashOf(slot->value), last, idAt) != last) ids.pop_back();
  }
  return ids;
}

// The valid records or edges that the catalog names, in its order. They are read in the order of
// their keys' entries (see OwnerReader::idEntry), which in a state read from a file goes through
// its memory in one sweep instead of jumping from one owner's keys to the next; each is checked
// as soon as it is read, and only the valid ones are kept.
template <class Owner>
std::vector<Owner> readCatalogued(const StoreState& state, const OwnerLayout<Owner>& layout,
                                  bool (*valid)(const Owner&)) {
  const std::vector<const Text*> ids = catalogIds(state, layout.catalog);
  OwnerReader reader(state);
  std::vector<std::pair<std::int32_t, std::size_t>> reads;  // the id entry, the catalog position
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::int32_t entry = reader.idEntry(layout, *ids[i]);
    if (entry >= 0) reads.emplace_back(entry, i);
  }
  std::sort(reads.begin(), reads.end());
  // Reserved, not filled: memory that no read uses is never touched.
  std::vector<Owner> kept;
  kept.reserve(reads.size());
  std::vector<std::pair<std::size_t, std::size_t>> places;  // the catalog position, the position in kept
  for (const auto& [entry, i] : reads) {
    Owner item = reader.read(layout, *ids[i], entry);
    if (!valid(item)) continue;
    places.emplace_back(i, kept.size());
    kept.push_back(std::move(item));
  }
  std::sort(places.begin(), places.end());
  std::vector<Owner> items;
  items.reserve(kept.size());
  for (const auto& place : places) items.push_back(std::move(kept[place.second]));
  return items;
}

}  // namespace

bool storeFilesPresent(const Text& directory) {
  return runtime::fileExists(snapshotPath(directory)) || runtime::fileExists(walPath(directory));
}

Database openDatabase(const Text& directory, OpenMode mode) {
  Database database;
  if (mode == OpenMode::kExisting && !storeFilesPresent(directory)) {
    database.store = makeFailedStoreState(directory, kStoreFilesMissing, OpenOutcome::kFilesMissing);
  } else if (mode == OpenMode::kExisting || directoryAvailable(directory)) {
    database.store = recoverStore(directory, mode);
  } else {
    database.store = makeFailedStoreState(directory, "database directory is unavailable");
  }
  database.records = readCatalogued(database.store, kRecordLayout, validateRecord);
  database.edges = readCatalogued(database.store, kEdgeLayout, validateEdge);
  return database;
}

}  // namespace store
