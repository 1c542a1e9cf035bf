// The durable key/value map: its entries, their validation, and the commit that makes the whole
// map durable through the write-ahead, next and snapshot files (store_files.hpp names them).
// Nothing here throws of its own; failures are false results or a state whose ok flag is false.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/text.hpp"
#include "store/snapshot_layout.hpp"
#include "store/store_entry_list.hpp"
#include "store/store_files.hpp"

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

// How long a commit, or the recovery at open, waits for another program's commit on the same
// directory to end before it gives up.
inline constexpr std::int64_t kStoreLockWaitMilliseconds = 3000;

// The key/value map bound to one directory, with its commit sequence and status.
struct StoreState {
  Text schema = "corvane.store.v1";
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
};

// Result of storeGet: found flag and the value ("" when not found).
struct StoreLookup {
  bool found = false;
  Text value;
};

// A fresh, ok, clean state with no entries; nothing on disk is touched.
StoreState makeStoreState(const Text& directory);
// makeStoreState with ok false and the message as given.
StoreState makeFailedStoreState(const Text& directory, const Text& message);

// The identity of a snapshot file holding these bytes.
SnapshotIdentity snapshotIdentityOf(const Bytes& bytes);

// True when the text has 1..maxBytes bytes.
bool textWithinBytes(const Text& text, std::int32_t maxBytes);
// Key 1..4096 bytes, value at most 1048576 bytes, and no zero byte in either.
bool validateStoreEntry(const StoreEntry& entry);
// Schema, version, directory, sequence, snapshot limit, entry count and every entry.
bool validateStoreState(const StoreState& state);

// Index of the first entry with exactly this key (marked entries included), or -1.
std::int32_t findEntryIndex(const StoreState& state, const Text& key);
// The live entry's value; a missing or marked entry is not found.
StoreLookup storeGet(const StoreState& state, const Text& key);
// Adds or overwrites an entry in place and marks the state dirty; false for an invalid entry.
// Memory running out throws std::bad_alloc with the state as it was.
bool storePut(StoreState& state, Text key, Text value);

// The state's snapshot file as it is on disk now, measured against the one the state read or
// last wrote: the same file, another one (also one that came or went), or one that cannot be
// read. Only the file's size and its two ends are read, as the check of a commit reads them.
enum class SnapshotFileCheck { kSame, kChanged, kUnreadable };
SnapshotFileCheck checkSnapshotFile(const StoreState& state);
// True when the directory's write-ahead file is the one identified, as checkSnapshotFile tells.
bool writeAheadFileIs(const Text& directory, const SnapshotIdentity& known);

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

// Makes a dirty state durable under sequence + 1. On failure, memory running out included, the
// state is left as it was, except after a move that went through but whose directory flush
// failed: the state then takes the snapshot file it wrote, and its sequence, as its own (the
// file may or may not survive a power cut), and stays dirty, so that its next commit writes the
// sequence after. A commit holds the directory's lock and refuses, touching no file, when the
// lock cannot be had within kStoreLockWaitMilliseconds or the snapshot file is not the one the
// state read or last wrote: another state or program committed since, and its records would be
// lost. A failed commit that got as far as writing its whole write-ahead file puts that file's
// identity in `walWritten` (when given): an open may still promote it, and then reads a snapshot
// of that identity. Otherwise `walWritten` is left absent; such a commit wrote nothing an open
// could read.
bool commitStore(StoreState& state, SnapshotIdentity* walWritten = nullptr);
// Writes and flushes the next file and moves it over the snapshot file in one durable step. The
// caller holds the directory's lock.
bool promoteSnapshot(const Text& directory, const Bytes& bytes);

}  // namespace store
