// Opening a data directory: the directory check, the snapshot, recovery of an interrupted
// commit's write-ahead file, and the catalog walks that rebuild records and edges. The commit
// that makes a database's store durable comes with this header (store_commit.hpp).
#pragma once

#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/store_commit.hpp"

namespace store {

// Always returns a database; database.store.ok and .message tell whether it opened cleanly.
// Lets through the file read's vusk_runtime_exception ("file.read", "file.read.limit") and the
// std::invalid_argument of a stored key or value holding a zero byte.
Database openDatabase(const Text& directory);

}  // namespace store
