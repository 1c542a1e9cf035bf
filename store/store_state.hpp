// The key/value map in memory: its entries and their validation (snapshot_codec.hpp turns a map
// into the bytes of its file and back, and store_commit.hpp makes it durable). Nothing here
// throws of its own; failures are false results or a state whose ok flag is false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/text.hpp"
#include "store/snapshot_layout.hpp"
#include "store/store_entry_list.hpp"

namespace store {

using runtime::Bytes;
using runtime::Text;

inline constexpr std::int32_t kMaxKeyBytes = 4096;
inline constexpr std::int32_t kMaxValueBytes = 1048576;
inline constexpr std::int32_t kMaxEntries = 65536;
inline constexpr std::int32_t kDefaultMaxSnapshotBytes = 4194304;
// The range a store's own snapshot limit may be set in, and the longest directory name.
inline constexpr std::int32_t kSmallestMaxSnapshotBytes = 1024;
inline constexpr std::int32_t kLargestMaxSnapshotBytes = 268435456;
inline constexpr std::int32_t kMaxDirectoryBytes = 4096;

// The snapshot file as a state last saw it, read at open or written by its last commit: absent,
// or its size with its header (magic, version, sequence, entry count) and its checksum, the
// file's two ends. A commit replaces only a snapshot file that still matches.
struct SnapshotIdentity {
  bool present = false;
  std::int64_t size = 0;
  Bytes head;
  Bytes tail;
  bool operator==(const SnapshotIdentity&) const = default;
};
inline constexpr std::size_t kSnapshotHeadBytes = layout::kHeaderBytes;
inline constexpr std::size_t kSnapshotTailBytes = layout::kChecksumBytes;

// The schema a valid state names.
inline constexpr std::string_view kStoreSchema = "corvane.store.v1";

// What kept the store's files from being written or moved into place, as far as the files tell:
// set by a commit that failed (kNone after one that went through) and by an open that read a
// write-ahead file it could not move into place. kNoRoom and kNoPermission: a file of the store
// (the lock file included) could not be made, written or flushed for that cause; kNotReplaced:
// the snapshot file could not be replaced; kLockNotHad: another program held the directory's lock
// throughout the wait; kOther: anything else (another program changed the files, an I/O error, a
// directory flush, a lock file that cannot be made for another cause).
enum class StoreTrouble { kNone, kNoRoom, kNoPermission, kNotReplaced, kLockNotHad, kOther };

// What an open found. kOpened: the snapshot file, a fresh store, or a write-ahead file it moved
// into place. kWriteAheadLocked and kWriteAheadUnlocked: a write-ahead file it read as the store's
// state but could not move into place (`trouble` tells why), read under the directory's lock, so
// that no commit is still writing it, or without the lock because its file could not be made or
// locked (a read-only directory); kWriteAheadInFlight: a write-ahead file while another program
// held the directory's lock throughout the wait: its commit may still be in flight, and may yet be
// given up, so nothing of that file is read: the state is the snapshot file's as committed before
// it (empty when there is none that decodes), not ok; kFilesMissing: neither store file where a
// store was read before; kFailed: anything else (`message` tells).
enum class OpenOutcome { kOpened, kWriteAheadLocked, kWriteAheadUnlocked, kWriteAheadInFlight, kFilesMissing, kFailed };

// The key/value map bound to one directory, with its commit sequence and status.
struct StoreState {
  Text schema = Text(kStoreSchema);
  std::int32_t formatVersion = layout::kFormatVersion;
  Text directory;
  std::int32_t sequence = 0;
  // A commit also stays within the 4194304 bytes that open reads.
  std::int32_t maxSnapshotBytes = kDefaultMaxSnapshotBytes;
  StoreEntryList entries;  // first-insertion order, unique keys
  bool dirty = false;
  bool ok = true;
  Text message = "ok";
  SnapshotIdentity snapshotOnDisk;  // absent for a state that has not read a snapshot file
  // The whole write-ahead file this state holds as its own: the one it read as the store's state
  // when an open could not move it into place, or the one its last failed commit left, which its
  // next commit moves into place first. Any other write-ahead file an open would take is another
  // program's change. Absent otherwise.
  SnapshotIdentity writeAheadOnDisk;
  StoreTrouble trouble = StoreTrouble::kNone;
  OpenOutcome opened = OpenOutcome::kOpened;  // a state that no open made is kOpened, or kFailed when not ok
};

// Result of storeGet: found flag and the value ("" when not found).
struct StoreLookup {
  bool found = false;
  Text value;
};

// A fresh, ok, clean state with no entries; nothing on disk is touched.
StoreState makeStoreState(const Text& directory);
// makeStoreState with ok false, the message as given and the outcome kFailed (or as given).
StoreState makeFailedStoreState(const Text& directory, const Text& message, OpenOutcome outcome = OpenOutcome::kFailed);

// The identity of a snapshot file holding these bytes.
SnapshotIdentity snapshotIdentityOf(const Bytes& bytes);
// Sets the identity to that of a snapshot file holding these bytes, in the identity's own
// storage: it allocates only when its head or tail has no room for kSnapshotHeadBytes or
// kSnapshotTailBytes bytes, so an identity with that room reserved is set without memory.
void setSnapshotIdentity(const Bytes& bytes, SnapshotIdentity& identity);

// True when the text has 1..maxBytes bytes.
bool textWithinBytes(const Text& text, std::int32_t maxBytes);
// Key 1..4096 bytes, value at most 1048576 bytes, and no zero byte in either.
bool validateStoreEntry(const StoreEntry& entry);
// Schema, version, directory, sequence, snapshot limit, entry count and every entry.
bool validateStoreState(const StoreState& state);
// validateStoreState for a commit: an entry checked by an earlier commit, or by the decoder, and
// not written since is not checked again (at the limits that is a pass over 4 MiB per commit).
// Once every check passes, every entry counts as checked.
bool validateForCommit(StoreState& state);

// Index of the first entry with exactly this key (marked entries included), or -1.
std::int32_t findEntryIndex(const StoreState& state, const Text& key);
// The live entry's value; a missing or marked entry is not found.
StoreLookup storeGet(const StoreState& state, const Text& key);
// Adds or overwrites an entry in place and marks the state dirty; false for an invalid entry.
// Memory running out throws std::bad_alloc with the state as it was.
bool storePut(StoreState& state, Text key, Text value);

// Sets the state's entries and dirty flag back to what they were at its construction when its
// scope is left by an exception, as when memory runs out part way through a series of puts;
// keeps them when the scope ends normally. Rollbacks nest. Only puts come between one's
// construction and its end, and at most a commit last (a commit throws nothing).
class StoreRollback {
 public:
  explicit StoreRollback(StoreState& state) noexcept;
  ~StoreRollback();
  StoreRollback(const StoreRollback&) = delete;
  StoreRollback& operator=(const StoreRollback&) = delete;

 private:
  StoreState& state_;
  StoreEntryList::Savepoint savepoint_;
  bool dirty_;
  int exceptions_;
};

}  // namespace store
