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

// The trouble of a store file's write or flush that just failed: the cause the system gave.
StoreTrouble writeTrouble() {
  switch (runtime::lastWriteFailure()) {
    case runtime::WriteFailure::kNoRoom:
      return StoreTrouble::kNoRoom;
    case runtime::WriteFailure::kNoPermission:
      return StoreTrouble::kNoPermission;
    case runtime::WriteFailure::kNone:
    case runtime::WriteFailure::kOther:
      break;
  }
  return StoreTrouble::kOther;
}

// Writes the whole file and, where the system offers it, starts its write-back at once: there is
// no tail left to complete. A next file that could not be written is removed (a full disk would
// keep an empty one), and `trouble` tells why.
bool writeNextFile(const Text& next, const Bytes& bytes, StoreTrouble& trouble) {
  if (runtime::writeFileBytesCompletingTail(next, bytes, 0, [] {})) return true;
  trouble = writeTrouble();
  runtime::deleteFileQuietly(next);
  return false;
}

// How far the file steps of a commit went.
enum class CommitStep { kNone, kMoved, kDurable };

// Flushes the written next file and moves it over the snapshot file in one durable step; a next
// file that cannot be moved is removed. `step` becomes kMoved once the move is made, and then
// kDurable once the directory is flushed; `trouble` tells what stopped them (a directory flush
// leaves it as it was).
void moveNextFile(const Text& directory, const Text& next, CommitStep& step, StoreTrouble& trouble) {
  if (!runtime::syncFile(next)) {
    trouble = writeTrouble();
    runtime::deleteFileQuietly(next);
    return;
  }
  const Text target = snapshotPath(directory);
  if (next.empty() || target.empty() || next == target) {
    runtime::deleteFileQuietly(next);
    return;
  }
  if (!runtime::replaceFile(next, target)) {
    trouble = StoreTrouble::kNotReplaced;
    runtime::deleteFileQuietly(next);
    return;
  }
  step = CommitStep::kMoved;
  // The move reaches the disk with the directory; until then a power cut can undo it.
  if (runtime::syncDirectory(directory)) step = CommitStep::kDurable;
}

// Writes the bytes to the next file and moves it over the snapshot file in one durable step, as
// moveNextFile tells by `step`.
void moveIntoPlace(const Text& directory, const Bytes& bytes, CommitStep& step, StoreTrouble& trouble) {
  const Text next = nextPath(directory);
  if (writeNextFile(next, bytes, trouble)) moveNextFile(directory, next, step, trouble);
}

// What the file steps of a commit did, kept true as they go, also when memory runs out part way.
struct CommitFiles {
  CommitStep step = CommitStep::kNone;
  // A whole write-ahead file of the commit's bytes may be on disk: one made durable, or one whose
  // flush failed but which could not be removed, or the commit stopped by memory running out
  // before either; the commit reports it.
  bool walWhole = false;
  // The move of the state's own write-ahead file into place before the commit's files, and that
  // file's sequence.
  CommitStep promotion = CommitStep::kNone;
  std::int32_t promotedSequence = 0;
  StoreTrouble trouble = StoreTrouble::kOther;
};

// How far the flush of a failed commit's whole write-ahead file went.
enum class WalFlush { kNotTried, kData, kFailed };

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

// A failed commit's whole write-ahead file is the store's state for an open to take, and the
// caller is told that the save is kept: first it is made durable, its data and its name in the
// directory. One that cannot be is no save and is removed, and the directory flushed once more
// where it can be, so that a power cut does not bring back what the caller is told was not saved.
// A removal that fails leaves the file for an open to take all the same, and so does a directory
// moved away meanwhile (its lock file gone with it), which may come back with the file: such a
// file stays reported.
void keepWriteAheadFile(const Text& directory, const SnapshotIdentity& written, WalFlush flush, CommitFiles& files) {
  const Text wal = walPath(directory);
  if (flush == WalFlush::kNotTried) flush = runtime::syncFile(wal) ? WalFlush::kData : WalFlush::kFailed;
  if (flush == WalFlush::kData && runtime::syncDirectory(directory)) return;
  runtime::deleteFileQuietly(wal);
  runtime::syncDirectory(directory);
  files.walWhole = writeAheadFileIs(directory, written) || !runtime::fileExists(lockPath(directory));
}

// The whole write-ahead file the state's last failed commit left (its own) is the store's state
// for an open, and a torn write over it would lose that commit's records: it is moved into place
// first, as an open would take it, through the next file, so that it stays whole beside the
// snapshot file until the move is durable. True when the commit goes on, with its bytes under the
// sequence after that file's.
bool moveOwnWriteAheadIntoPlace(StoreState& state, Bytes& bytes, CommitFiles& files) {
  if (!writeAheadFileIs(state.directory, state.writeAheadOnDisk)) {
    // Gone since, and no other in its place that an open would take (checkWriteAheadFile).
    clearSnapshotIdentity(state.writeAheadOnDisk);
    return true;
  }
  Bytes ahead;
  try {
    ahead = runtime::readFileBytes(walPath(state.directory), kMaxSnapshotFileBytes);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    return false;  // it cannot be read now
  }
  if (ahead.size() < layout::kEmptyFileBytes) return false;
  files.promotedSequence = readZigzagInt32(ahead, layout::kSequenceOffset);
  moveIntoPlace(state.directory, ahead, files.promotion, files.trouble);
  // Whatever the move answered, the file in place tells whether it was made.
  if (files.promotion == CommitStep::kNone && snapshotFileIs(state.directory, state.writeAheadOnDisk)) {
    files.promotion = CommitStep::kMoved;
  }
  if (files.promotion != CommitStep::kDurable) return false;
  if (files.promotedSequence == std::numeric_limits<std::int32_t>::max()) return false;
  state.sequence = files.promotedSequence + 1;
  bytes = encodeUnsealedSnapshot(state);
  return true;
}

// The file steps of a commit of these bytes, under the directory's lock: the check of the
// snapshot file, the move of the state's own write-ahead file into place, the write-ahead and
// next files, the move and the removal of the write-ahead file. `files` tells how far they went,
// also when memory runs out part way; `written`, with room reserved for its ends, becomes the
// identity of the commit's write-ahead file, which is the file they move into place, once that
// file is sealed.
void writeCommitFiles(StoreState& state, Bytes& bytes, SnapshotIdentity& written, CommitFiles& files) {
  // Another state or program on the directory may have committed since this state read the
  // store, or left a write-ahead file that an open takes as the store's state: replacing the
  // snapshot file, or writing over that write-ahead file, would lose its records. The lock keeps
  // every other commit (and recovery) out from the check to the move.
  const std::unique_ptr<runtime::FileSystem::Lock> lock = lockStoreDirectory(state.directory, &files.trouble);
  if (lock == nullptr) return;
  if (!snapshotFileIs(state.directory, state.snapshotOnDisk)) return;
  // The state was read, or last written, under the sequence before the one it commits.
  if (checkWriteAheadFile(state, state.sequence - 1) != StoreFilesCheck::kSame) return;
  if (state.writeAheadOnDisk.present && !moveOwnWriteAheadIntoPlace(state, bytes, files)) return;
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
  if (!whole) files.trouble = writeTrouble();
  if (!sealed) return;
  // Set in the room reserved for it, and before the move, so that the state can follow the move
  // without needing memory.
  setSnapshotIdentity(bytes, written);
  files.walWhole = true;
  if (!whole) {
    // A write that failed after its last byte (as when only the close fails) left a file an open
    // promotes; a torn one is no commit's. When memory runs out for the check, the file may be
    // whole and is taken for the state's own.
    files.walWhole = writeAheadFileIs(state.directory, written);
    if (files.walWhole) keepWriteAheadFile(state.directory, written, WalFlush::kNotTried, files);
    return;
  }
  // The next file holds the same bytes. It is written while the write-ahead file is still on its
  // way to the disk, so that the two write-backs overlap; both are flushed before the move. Until
  // the move nothing reads the next file, so a power cut before the write-ahead file is flushed
  // leaves only a stray next file, as a cut before the next file's own flush always could.
  const Text next = nextPath(state.directory);
  if (!writeNextFile(next, bytes, files.trouble)) {
    keepWriteAheadFile(state.directory, written, WalFlush::kNotTried, files);
    return;
  }
  if (!runtime::syncFile(wal)) {
    files.trouble = writeTrouble();
    runtime::deleteFileQuietly(next);
    keepWriteAheadFile(state.directory, written, WalFlush::kFailed, files);
    return;
  }
  moveNextFile(state.directory, next, files.step, files.trouble);
  if (files.step == CommitStep::kDurable) {
    files.trouble = StoreTrouble::kNone;
    runtime::deleteFileQuietly(wal);
    return;
  }
  // Whatever the move answered, the file in place tells whether it was made. A move made but not
  // flushed has put the commit's bytes in the store's file all the same: every open reads them,
  // so they are kept as the store's state, never taken back. The write-ahead file, a copy of them
  // whose data is on the disk, stays beside them: should a power cut undo the move, an open takes
  // that file if its name survived. The directory is flushed once more where it can be, and the
  // open that reads the store back settles the move.
  files.step = snapshotFileIs(state.directory, written) ? CommitStep::kMoved : CommitStep::kNone;
  if (files.step == CommitStep::kMoved) {
    runtime::syncDirectory(state.directory);
    return;
  }
  keepWriteAheadFile(state.directory, written, WalFlush::kData, files);
}

}  // namespace

std::unique_ptr<runtime::FileSystem::Lock> lockStoreDirectory(const Text& directory, StoreTrouble* why,
                                                              std::int64_t waitMilliseconds) {
  runtime::noteWriteFailure(runtime::WriteFailure::kNone);
  runtime::FileSystem::LockAttempt last = runtime::FileSystem::LockAttempt::kTaken;
  std::unique_ptr<runtime::FileSystem::Lock> lock = runtime::lockFile(lockPath(directory), waitMilliseconds, &last);
  if (lock == nullptr && why != nullptr) {
    *why = last == runtime::FileSystem::LockAttempt::kBusy ? StoreTrouble::kLockNotHad : writeTrouble();
  }
  return lock;
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
  // A state read from a write-ahead file it could not move into place keeps what the open found.
  if (!state.ok) return false;
  state.trouble = StoreTrouble::kOther;
  if (!validateForCommit(state)) return false;
  if (!state.dirty) {
    state.trouble = StoreTrouble::kNone;
    return true;
  }
  // The next sequence would not fit: refuse before incrementing rather than overflow.
  if (state.sequence == std::numeric_limits<std::int32_t>::max()) return false;
  // Every identity the commit sets has its room before anything changes: once the sequence is
  // advanced, nothing outside the try block below needs memory.
  SnapshotIdentity written;
  try {
    reserveSnapshotIdentity(written);
    reserveSnapshotIdentity(state.writeAheadOnDisk);
    reserveSnapshotIdentity(state.snapshotOnDisk);
    if (walWritten != nullptr) reserveSnapshotIdentity(*walWritten);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::int32_t previous = state.sequence;
  state.sequence = previous + 1;
  CommitFiles files;
  try {
    // Kept for the commits that follow, so that each sorts only the keys it adds.
    state.entries.settleKeyOrder();
    Bytes bytes = encodeUnsealedSnapshot(state);  // validated above
    // Whatever the state's own limit, no file is written that open would refuse to read.
    const std::size_t limit = static_cast<std::size_t>(std::min(state.maxSnapshotBytes, kMaxSnapshotFileBytes));
    if (!bytes.empty() && bytes.size() <= limit) writeCommitFiles(state, bytes, written, files);
  } catch (const std::bad_alloc&) {
    // Memory running out fails the commit where it stands.
  }
  state.trouble = files.trouble;
  if (files.promotion != CommitStep::kNone) {
    // The state follows its own write-ahead file moved into place: the snapshot file and its
    // sequence are that file's. Until the move is durable, the write-ahead file (now a copy of
    // the snapshot file) stays the state's own, for its next commit to move again.
    state.snapshotOnDisk = state.writeAheadOnDisk;  // into the room reserved above
    previous = files.promotedSequence;
    if (files.promotion == CommitStep::kDurable) clearSnapshotIdentity(state.writeAheadOnDisk);
  }
  if (files.step == CommitStep::kDurable) {
    clearSnapshotIdentity(state.writeAheadOnDisk);
  } else if (files.walWhole) {
    // The whole write-ahead file left behind is this state's own: its next commit moves it into
    // place before it writes its own.
    state.writeAheadOnDisk = written;  // into the room reserved above
    if (walWritten != nullptr) *walWritten = written;
  }
  if (files.step == CommitStep::kNone) {
    state.sequence = previous;
    return false;
  }
  // These bytes are in place under the new sequence: they are what this state last wrote, and
  // its next commit replaces them under the sequence after. A move that was made but not flushed
  // answers false (a power cut can still undo it) and leaves the state dirty; as it keeps the
  // sequence too, no two files this state writes share one, and a state that read either file
  // never takes the other for it.
  state.snapshotOnDisk = std::move(written);
  if (files.step != CommitStep::kDurable) return false;
  state.dirty = false;
  state.message = "ok";
  return true;
}

bool promoteSnapshot(const Text& directory, const Bytes& bytes, StoreTrouble* trouble) {
  StoreTrouble found = StoreTrouble::kOther;
  CommitStep step = CommitStep::kNone;
  // An empty file would replace the snapshot with something no open can read.
  if (!bytes.empty()) moveIntoPlace(directory, bytes, step, found);
  if (trouble != nullptr) *trouble = step == CommitStep::kDurable ? StoreTrouble::kNone : found;
  return step == CommitStep::kDurable;
}

}  // namespace store
