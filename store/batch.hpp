// Putting records and their edges together and committing them in one step.
#pragma once

#include <vector>

#include "store/record.hpp"

namespace store {

// The records and then the edges that one batch put writes and commits together.
struct RecordBatch {
  std::vector<Record> records;
  std::vector<Edge> edges;
};

// Puts every record, then every edge whose ends exist, then commits; false at the first failure.
// Memory running out throws std::bad_alloc with the database as it was, or fails the commit. A
// failed commit's write-ahead file is identified in `walWritten` as commitStore does it.
bool putBatch(Database& database, const RecordBatch& batch, SnapshotIdentity* walWritten = nullptr);

}  // namespace store
