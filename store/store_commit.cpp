// The commit of the key/value map through the write-ahead and next files, and the check of the
// snapshot file a commit makes before it replaces that file.
#include "store/store_commit.hpp"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "runtime/file_lock.hpp"
#include "runtime/files.hpp"
#include "store/snapshot_codec.hpp"

namespace store {

namespace {

// Writes the whole file and, where the system offers it, starts its write-back at once: there is
// no tail left to complete.
bool writeNextFile(const Text& next, const Bytes& bytes) {
  return runtime::writeFileBytesCompletingTail(next, bytes, 0, [] {});
}

// How far the file steps of a commit went.
enum class CommitStep { kNone, kMoved, kDurable };

// Flushes the written next file and moves it over the snapshot file in one durable step; a next
// file that cannot be moved is removed. `step` becomes kMoved once the move is made, and then
// kDurable once the directory is flushed.
void moveNextFile(const Text& directory, const Text& next, CommitStep& step) {
  if (!runtime::syncFile(next)) {
    runtime::deleteFileQuietly(next);
    return;
  }
  const Text target = snapshotPath(directory);
  if (next.empty() || target.empty() || next == target) {
    runtime::deleteFileQuietly(next);
    return;
  }
  if (!runtime::replaceFile(next, target)) {
    runtime::deleteFileQuietly(next);
    return;
  }
  step = CommitStep::kMoved;
  // The move reaches the disk with the directory; until then a power cut can undo it.
  if (runtime::syncDirectory(directory)) step = CommitStep::kDurable;
}

// The file's size and two ends against the identity.
bool endsAre(const runtime::FileSystem::FileEnds& ends, const SnapshotIdentity& known) {
  return known.present && known.size == ends.size && known.head == ends.head && known.tail == ends.tail;
}

// The file at the path against the one identified. Only its size and its two ends are
// read: the sequence and the checksum over every byte tell two files apart.
StoreFilesCheck compareSnapshotFile(const Text& path, const SnapshotIdentity& known) {
  using Status = runtime::FileSystem::FileEnds::Status;
  const runtime::FileSystem::FileEnds ends = runtime::readFileEnds(path, kSnapshotHeadBytes, kSnapshotTailBytes);
  if (ends.status == Status::kUnreadable) return StoreFilesCheck::kUnreadable;
  const bool same = ends.status == Status::kAbsent ? !known.present : endsAre(ends, known);
  return same ? StoreFilesCheck::kSame : StoreFilesCheck::kChanged;
}

// The directory's write-ahead file against the state: a change only when an open would take it
// over the snapshot file the state read, and it is neither the state's own nor a copy of that
// snapshot file (a commit whose removal of it failed leaves one), whose sequence is given; for a state read from a
// write-ahead file that could not be moved into place, when it is not that file. Memory running
// out throws.
StoreFilesCheck checkWriteAheadFile(const StoreState& state, std::int32_t snapshotSequence) {
  using Status = runtime::FileSystem::FileEnds::Status;
  const Text wal = walPath(state.directory);
  const runtime::FileSystem::FileEnds ends = runtime::readFileEnds(wal, kSnapshotHeadBytes, kSnapshotTailBytes);
  if (ends.status == Status::kUnreadable) return StoreFilesCheck::kUnreadable;
  // A state read from a write-ahead file that could not be moved into place holds that file: any
  // other is another state of the store.
  if (!state.ok && state.writeAheadOnDisk.present) {
    return ends.status != Status::kAbsent && endsAre(ends, state.writeAheadOnDisk) ? StoreFilesCheck::kSame
                                                                                   : StoreFilesCheck::kChanged;
  }
  if (ends.status == Status::kAbsent || endsAre(ends, state.writeAheadOnDisk) || endsAre(ends, state.snapshotOnDisk)) {
    return StoreFilesCheck::kSame;
  }
  try {
    const StoreState ahead = decodeSnapshot(runtime::readFileBytes(wal, kMaxSnapshotFileBytes), state.directory);
    return writeAheadTakesOver(ahead, state.ok, snapshotSequence) ? StoreFilesCheck::kChanged : StoreFilesCheck::kSame;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // Gone since, larger than an open reads, or holding what no store holds: nothing to tell.
    return StoreFilesCheck::kUnreadable;
  }
}

// Absent again, keeping the room of its two ends.
void clearSnapshotIdentity(SnapshotIdentity& identity) noexcept {
  identity.present = false;
  identity.size = 0;
  identity.head.clear();
  identity.tail.clear();
}

// Room for the two ends of any snapshot file's identity, so that setting or copying one into it
// later needs no memory.
void reserveSnapshotIdentity(SnapshotIdentity& identity) {
  identity.head.reserve(kSnapshotHeadBytes);
  identity.tail.reserve(kSnapshotTailBytes);
}

// The file steps of a commit of these bytes, under the directory's lock: the check of the
// snapshot file, the write-ahead and next files, the move and the removal of the write-ahead
// file. `step` tells how far they went, also when memory runs out part way; `written`, with room
// reserved for its ends, becomes the identity of the write-ahead file, which is the file they
// move into place, once that file may be on disk whole.
void writeCommitFiles(const StoreState& state, Bytes& bytes, SnapshotIdentity& written, CommitStep& step) {
  // Another state or program on the directory may have committed since this state read the
  // store, or left a write-ahead file that an open takes as the store's state: replacing the
  // snapshot file, or writing over that write-ahead file, would lose its records. The lock keeps
  // every other commit (and recovery) out from the check to the move.
  const std::unique_ptr<runtime::FileSystem::Lock> lock = lockStoreDirectory(state.directory);
  if (lock == nullptr || !snapshotFileIs(state.directory, state.snapshotOnDisk)) return;
  // The state was read, or last written, under the sequence before the one it commits.
  if (checkWriteAheadFile(state, state.sequence - 1) != StoreFilesCheck::kSame) return;
  const Text wal = walPath(state.directory);
  // The checksum is a serial chain over every byte: it is computed while the rest of the
  // write-ahead file is on its way to the disk, and written last.
  bool sealed = false;
  auto seal = [&bytes, &sealed] {
    sealSnapshot(bytes);
    sealed = true;
  };
  bool whole = false;
  try {
    whole = runtime::writeFileBytesCompletingTail(wal, bytes, layout::kChecksumBytes, seal);
  } catch (const std::bad_alloc&) {
    // Memory running out after the seal may leave the file whole all the same: checked below.
  }
  if (!sealed) return;
  // Set in the room reserved for it, and before the move, so that the state can follow the move
  // without needing memory.
  setSnapshotIdentity(bytes, written);
  if (!whole) {
    // A write that failed after its last byte (as when only the close fails) left a file an open
    // promotes; a torn one is no commit's. When memory runs out for the check, the file may be
    // whole and keeps its identity.
    if (!writeAheadFileIs(state.directory, written)) clearSnapshotIdentity(written);
    return;
  }
  // The next file holds the same bytes. It is written while the write-ahead file is still on its
  // way to the disk, so that the two write-backs overlap; both are flushed before the move. Until
  // the move nothing reads the next file, so a power cut before the write-ahead file is flushed
  // leaves only a stray next file, as a cut before the next file's own flush always could.
  const Text next = nextPath(state.directory);
  if (!writeNextFile(next, bytes)) return;
  if (!runtime::syncFile(wal)) {
    runtime::deleteFileQuietly(next);
    return;
  }
  moveNextFile(state.directory, next, step);
  if (step == CommitStep::kDurable) {
    runtime::deleteFileQuietly(wal);
    return;
  }
  // Whatever the move answered, the file in place tells whether it was made.
  step = snapshotFileIs(state.directory, written) ? CommitStep::kMoved : CommitStep::kNone;
}

}  // namespace

std::unique_ptr<runtime::FileSystem::Lock> lockStoreDirectory(const Text& directory) {
  return runtime::lockFile(lockPath(directory), kStoreLockWaitMilliseconds);
}

StoreFilesCheck checkStoreFiles(const StoreState& state) {
  const StoreFilesCheck snapshot = compareSnapshotFile(snapshotPath(state.directory), state.snapshotOnDisk);
  return snapshot == StoreFilesCheck::kSame ? checkWriteAheadFile(state, state.sequence) : snapshot;
}

bool snapshotFileIs(const Text& directory, const SnapshotIdentity& known) {
  return compareSnapshotFile(snapshotPath(directory), known) == StoreFilesCheck::kSame;
}

bool writeAheadFileIs(const Text& directory, const SnapshotIdentity& known) {
  return known.present && compareSnapshotFile(walPath(directory), known) == StoreFilesCheck::kSame;
}

bool writeAheadTakesOver(const StoreState& ahead, bool snapshotUsable, std::int32_t snapshotSequence) {
  return ahead.ok && (!snapshotUsable || ahead.sequence >= snapshotSequence);
}

bool commitStore(StoreState& state, SnapshotIdentity* walWritten) {
  if (walWritten != nullptr) clearSnapshotIdentity(*walWritten);
  if (!state.ok) return false;
  if (!validateForCommit(state)) return false;
  if (!state.dirty) return true;
  // The next sequence would not fit: refuse before incrementing rather than overflow.
  if (state.sequence == std::numeric_limits<std::int32_t>::max()) return false;
  // Every identity the commit sets has its room before anything changes: once the sequence is
  // advanced, nothing outside the try block below needs memory.
  SnapshotIdentity written;
  try {
    reserveSnapshotIdentity(written);
    reserveSnapshotIdentity(state.writeAheadOnDisk);
    if (walWritten != nullptr) reserveSnapshotIdentity(*walWritten);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const std::int32_t previous = state.sequence;
  state.sequence = previous + 1;
  CommitStep step = CommitStep::kNone;
  try {
    // Kept for the commits that follow, so that each sorts only the keys it adds.
    state.entries.settleKeyOrder();
    Bytes bytes = encodeUnsealedSnapshot(state);  // validated above
    // Whatever the state's own limit, no file is written that open would refuse to read.
    const std::size_t limit = static_cast<std::size_t>(std::min(state.maxSnapshotBytes, kMaxSnapshotFileBytes));
    if (!bytes.empty() && bytes.size() <= limit) writeCommitFiles(state, bytes, written, step);
  } catch (const std::bad_alloc&) {
    // Memory running out fails the commit where it stands.
  }
  if (step == CommitStep::kDurable) {
    clearSnapshotIdentity(state.writeAheadOnDisk);
  } else if (written.present) {
    // The whole write-ahead file left behind is this state's own: its next commit writes over it.
    state.writeAheadOnDisk = written;  // into the room reserved above
    if (walWritten != nullptr) *walWritten = written;
  }
  if (step == CommitStep::kNone) {
    state.sequence = previous;
    return false;
  }
  // These bytes are in place under the new sequence: they are what this state last wrote, and
  // its next commit replaces them under the sequence after. A move that was made but not flushed
  // answers false (a power cut can still undo it) and leaves the state dirty; as it keeps the
  // sequence too, no two files this state writes share one, and a state that read either file
  // never takes the other for it.
  state.snapshotOnDisk = std::move(written);
  if (step != CommitStep::kDurable) return false;
  state.dirty = false;
  state.message = "ok";
  return true;
}

bool promoteSnapshot(const Text& directory, const Bytes& bytes) {
  // An empty file would replace the snapshot with something no open can read.
  if (bytes.empty()) return false;
  const Text next = nextPath(directory);
  if (!writeNextFile(next, bytes)) return false;
  CommitStep step = CommitStep::kNone;
  moveNextFile(directory, next, step);
  return step == CommitStep::kDurable;
}

}  // namespace store
