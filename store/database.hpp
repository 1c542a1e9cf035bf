// Opening a data directory: the directory check, the snapshot, recovery of an interrupted
// commit's write-ahead file, and the catalog walks that rebuild records and edges. The commit
// that makes a database's store durable comes with this header (store_commit.hpp).
#pragma once

#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/store_commit.hpp"

namespace store {

// How an open meets a directory without a store in it. kCreate makes the directory when it is
// missing and takes a missing snapshot file for a fresh, empty store: a first start. kExisting,
// for a store that was read before, creates nothing and fails with kStoreFilesMissing when neither
// the snapshot file nor a write-ahead file is there (also when the directory is not): the
// store was taken away, and an empty one in its place would be saved over it.
enum class OpenMode { kCreate, kExisting };
inline constexpr const char* kStoreFilesMissing = "the store files are missing";
// The message of an open that read a write-ahead file as the store's state but could not move it
// into place (the snapshot file cannot be replaced, or the directory's lock could not be made).
inline constexpr const char* kWriteAheadNotPromoted = "write-ahead recovery could not promote the durable snapshot";
// The message of an open that met a write-ahead file while another program held the lock.
inline constexpr const char* kWriteAheadInFlight = "another program is writing the store";

// Always returns a database; database.store.ok and .message tell whether it opened cleanly.
// Lets through the file read's vusk_runtime_exception ("file.read", "file.read.limit") and the
// std::invalid_argument of a stored key or value holding a zero byte.
Database openDatabase(const Text& directory, OpenMode mode = OpenMode::kCreate);

// True when the directory holds a snapshot file or a write-ahead file, either of which an open
// reads as the store.
bool storeFilesPresent(const Text& directory);

}  // namespace store
