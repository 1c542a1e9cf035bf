#include "app/store_reading.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "store/record_keys.hpp"

namespace app {

namespace {

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

}  // namespace

bool holdsWritten(const store::Database& database, const WrittenRecord& written) {
  const std::int32_t index = store::findRecordIndex(database, written.id);
  if (index < 0) return false;
  const store::Record& stored = database.records[static_cast<std::size_t>(index)];
  return stored.kind == written.kind && recordFieldsOf(stored) == written.fields && stored.updated == written.updated;
}

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

CommitDid commitDid(const SaveCommit& commit) {
  if (commit.moved) return CommitDid::kMoved;
  return commit.keptFile.present ? CommitDid::kKeptOwnFile : CommitDid::kKeptNothing;
}

StoreReading readBack(StoreReading last, const SaveCommit& commit, store::Database committed, store::Database opened) {
  if (commit.moved || commit.keptFile.present) last.database = std::move(committed);
  last.settledFile = commit.keptFile;
  if (commit.keptFile.present) last.pending = commit.written;
  StoreReading read = nextReading(std::move(last), std::move(opened), ReadingOccasion::kSaveReadBack);
  if (commit.moved) read.pending.reset();  // a kept save waits; the reading settled any other
  return read;
}

ReadBackFound readBackFound(const StoreReading& reading) {
  if (reading.missing) return ReadBackFound::kRecordsMissing;
  if (takesDatabase(reading.found.opened)) return ReadBackFound::kTookStore;
  // Of what an open takes nothing from: another program's commit in flight, or unreadable files.
  return reading.found.opened == store::OpenOutcome::kWriteAheadInFlight ? ReadBackFound::kLockHeld
                                                                         : ReadBackFound::kUnreadable;
}

}  // namespace app
