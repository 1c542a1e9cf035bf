// Making the key/value map durable: a commit writes the write-ahead and next files and moves the
// next file over the snapshot file (store_files.hpp names them) under the directory's lock, after
// checking that the snapshot file is still the one the state last saw. Nothing here throws of its
// own; failures are false results.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/file_system.hpp"
#include "runtime/text.hpp"
#include "store/store_files.hpp"
#include "store/store_state.hpp"

namespace store {

// How long a commit waits for another program's commit on the same directory to end before it
// gives up.
inline constexpr std::int64_t kStoreLockWaitMilliseconds = 3000;
// How long an open waits for it before it reads the store without settling a write-ahead file:
// about what a commit takes, so that a reading never holds its caller (a window) for long.
inline constexpr std::int64_t kStoreReadLockWaitMilliseconds = 250;
// The directory's lock, which a commit and the recovery at open hold while they work on its
// files; null when it was not had within `waitMilliseconds`, and then `why` (when given) tells
// kLockNotHad when another program held it throughout, or why the lock file could not be made or
// locked (kNoRoom, kNoPermission, kOther).
std::unique_ptr<runtime::FileSystem::Lock> lockStoreDirectory(
    const Text& directory, StoreTrouble* why = nullptr, std::int64_t waitMilliseconds = kStoreLockWaitMilliseconds);

// The store's files as they are on disk now, measured against what the state read or last
// wrote: the same, changed by another state or program, or not readable. The store's state is
// its snapshot file and a whole write-ahead file an open would take over it (writeAheadTakesOver),
// so both count: the snapshot file is compared by its size and its two ends; a write-ahead file
// other than the state's own (StoreState::writeAheadOnDisk) or a copy of the snapshot file it
// read is read whole and decoded, and is a change when an open would take it. A torn write-ahead
// file, or one older than the snapshot, an open discards: it is no change.
enum class StoreFilesCheck { kSame, kChanged, kUnreadable };
StoreFilesCheck checkStoreFiles(const StoreState& state);
// True when the directory's snapshot file is the one identified (absent when the identity is);
// false also when it cannot be read.
bool snapshotFileIs(const Text& directory, const SnapshotIdentity& known);
// True when the directory's write-ahead file is the one identified, by its size and two ends.
bool writeAheadFileIs(const Text& directory, const SnapshotIdentity& known);
// Whether an open takes the state of a write-ahead file (`ahead`) over that of the snapshot file
// beside it: it decodes, and its sequence is not below the snapshot's when that one is usable.
bool writeAheadTakesOver(const StoreState& ahead, bool snapshotUsable, std::int32_t snapshotSequence);

// Makes a dirty state durable under the sequence after its own. On failure, memory running out
// included, the state is left as it was, but for what it knows of the files (its snapshotOnDisk,
// writeAheadOnDisk and sequence, and `trouble`, which every outcome sets; a state that is not ok
// keeps the trouble its open found): after a move that went through but whose directory flush
// failed, the state takes the snapshot file it wrote, and its sequence, as its own (the file may
// or may not survive a power cut), and stays dirty, so that its next commit writes the sequence
// after. A commit holds the directory's lock and refuses, touching no file, when the lock cannot
// be had within kStoreLockWaitMilliseconds or the store's files are not what the state read or
// last wrote (checkStoreFiles): another state or program committed since, or left a write-ahead
// file an open takes as the store's state, and its records would be lost.
//
// A failed commit that leaves its whole write-ahead file makes it durable, its data and its name
// in the directory, and then reports it as kept: its identity goes in `walWritten` (when given),
// also when the write itself failed after its last byte (its close, say) and the file on disk is
// whole. An open takes that file as the store's state, and then reads a snapshot of that identity.
// A file that cannot be made durable is no save: it is removed and `walWritten` is left absent,
// unless the removal fails too, or memory runs out first, and the file stays for an open to take
// (then it is reported, though a power cut may take it). A commit whose move was made but whose
// directory flush failed has its bytes in the snapshot file, where every open reads them: it
// keeps its write-ahead file, a copy of them, beside it and reports it as kept too. A
// whole write-ahead file left, reported or not, is the state's own (writeAheadOnDisk): its next
// commit never writes over it, but first moves it into place as an open would, under the lock
// and after the same checks, and then commits under the sequence after that file's. When that
// move cannot be made the commit refuses, leaving the files as they were; when it is made but not
// flushed, the state takes the moved file and its sequence as its own and the write-ahead file,
// a copy of it, stays its own for the next commit to move again. A commit never throws, with or
// without `walWritten`.
bool commitStore(StoreState& state, SnapshotIdentity* walWritten = nullptr);
// Writes and flushes the next file and moves it over the snapshot file in one durable step; a
// next file that cannot be written or moved is removed. `trouble` (when given) tells what stopped
// it, kNone when it went through. The caller holds the directory's lock (lockStoreDirectory).
bool promoteSnapshot(const Text& directory, const Bytes& bytes, StoreTrouble* trouble = nullptr);

}  // namespace store
