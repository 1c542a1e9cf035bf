// Opening a database: directory check, snapshot load, write-ahead recovery, catalog walks.
#include "store/database.hpp"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "runtime/file_lock.hpp"
#include "runtime/file_system.hpp"
#include "runtime/files.hpp"
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

// The snapshot file's state, with the identity of the bytes read (a fresh state when there is
// no file).
StoreState loadSnapshot(const Text& directory) {
  const Text file = snapshotPath(directory);
  if (!runtime::fileExists(file)) return makeStoreState(directory);
  const Bytes bytes = runtime::readFileBytes(file, kMaxSnapshotFileBytes);
  StoreState state = decodeSnapshot(bytes, directory);
  state.snapshotOnDisk = snapshotIdentityOf(bytes);
  return state;
}

StoreState loadFile(const Text& path, const Text& directory) {
  return decodeSnapshot(runtime::readFileBytes(path, kMaxSnapshotFileBytes), directory);
}

StoreState recoverStore(const Text& directory) {
  const Text wal = walPath(directory);
  if (!runtime::fileExists(wal)) return loadSnapshot(directory);
  // A write-ahead file is settled under the directory's lock: another program's commit in
  // progress has one that is not abandoned, and the lock is had only once that commit ended.
  // Without the lock (a read-only directory, a holder that does not let go) the files are read
  // but nothing is promoted or deleted.
  const std::unique_ptr<runtime::FileSystem::Lock> lock =
      runtime::lockFile(lockPath(directory), kStoreLockWaitMilliseconds);
  const bool locked = lock != nullptr;
  StoreState snapshot = loadSnapshot(directory);
  if (!runtime::fileExists(wal)) return snapshot;  // the commit that held the lock ended
  StoreState ahead = loadFile(wal, directory);
  if (!ahead.ok) {
    if (snapshot.ok && locked) runtime::deleteFileQuietly(wal);
    return snapshot;
  }
  if (snapshot.ok && ahead.sequence < snapshot.sequence) {
    if (locked) runtime::deleteFileQuietly(wal);
    return snapshot;
  }
  const Bytes promoted = encodeSnapshot(ahead);
  if (locked && promoteSnapshot(directory, promoted)) {
    runtime::deleteFileQuietly(wal);
    ahead.snapshotOnDisk = snapshotIdentityOf(promoted);
  } else {
    ahead.ok = false;
    ahead.message = "write-ahead recovery could not promote the durable snapshot";
  }
  return ahead;
}

// Walks "<catalog>/count" slots (at most 65536) and hands each id found to `load`, once: a
// catalog that names one id in many slots would otherwise load a copy of the same item per
// slot, and a store file of a few megabytes could ask for that many copies of a record of a
// megabyte and exhaust memory. The store itself never names an id twice.
template <typename Load>
void walkCatalog(const StoreState& state, std::string_view catalog, Load load) {
  const StoreLookup count = storeGet(state, fieldKey(catalog, kCountWord));
  const std::int32_t n = count.found ? runtime::parseInt(count.value) : 0;
  if (n <= 0) return;
  // The slots are looked up among the catalog's own keys when the key order allows it, and
  // through one reused key text; the ids seen point into the state, which the walk only reads.
  const StoreEntryList& entries = state.entries;
  std::optional<StoreEntryList::KeyRange> slots;
  Text key = fieldKey(catalog, "");
  if (const auto all = entries.orderedKeys(); all.has_value()) slots = entries.keysWithPrefix(key, *all);
  const std::size_t stem = key.size();
  std::unordered_set<std::string_view> seen;
  seen.reserve(static_cast<std::size_t>(std::min(n, kMaxCatalogSlots)));
  for (std::int32_t i = 0; i < n && i < kMaxCatalogSlots; ++i) {
    key.resize(stem);
    key += intToText(i);
    const std::int32_t at = slots.has_value() ? entries.findInRange(key, *slots) : entries.find(key);
    if (at < 0 || entries[static_cast<std::size_t>(at)].deleted) continue;
    const Text& id = entries[static_cast<std::size_t>(at)].value;
    if (seen.insert(id).second) load(id);
  }
}

}  // namespace

Database openDatabase(const Text& directory) {
  Database database;
  if (directoryAvailable(directory)) {
    database.store = recoverStore(directory);
  } else {
    database.store = makeFailedStoreState(directory, "database directory is unavailable");
  }
  walkCatalog(database.store, kRecordLayout.catalog, [&database](const Text& id) {
    Record record = readRecord(database, id);
    if (validateRecord(record)) database.records.push_back(std::move(record));
  });
  walkCatalog(database.store, kEdgeLayout.catalog, [&database](const Text& id) {
    Edge edge = readEdge(database, id);
    if (validateEdge(edge)) database.edges.push_back(std::move(edge));
  });
  return database;
}

}  // namespace store
