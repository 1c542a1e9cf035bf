// Setting a database back when a put of records and edges runs out of memory part way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "store/record.hpp"
#include "store/store_state.hpp"

namespace store {

// Sets the database back to what it was at its construction when its scope is left by an
// exception, as when memory runs out part way through a put: its key/value map (StoreRollback),
// its records and edges appended since, and those of the given records and edges (by id) that
// it held already, which it keeps copies of. Keeps everything when the scope ends normally.
// Rollbacks nest; only puts come between one's construction and its end, and at most a commit
// last.
class DatabaseRollback {
 public:
  DatabaseRollback(Database& database, std::span<const Record> records, std::span<const Edge> edges);
  // For a put of one record, which placeRecord places.
  explicit DatabaseRollback(Database& database) : DatabaseRollback(database, {}, {}) {}
  ~DatabaseRollback();

  // Places a copy of the record over the one at `existing`, or after the others for -1, as
  // putRecord does; the record it replaces is kept for the rollback. Once per rollback.
  void placeRecord(std::int32_t existing, const Record& record);
  DatabaseRollback(const DatabaseRollback&) = delete;
  DatabaseRollback& operator=(const DatabaseRollback&) = delete;

 private:
  Database& database_;
  std::size_t recordCount_;
  std::size_t edgeCount_;
  // Copies of the records and edges a put may replace in place, by position.
  std::vector<std::pair<std::size_t, Record>> records_;
  std::vector<std::pair<std::size_t, Edge>> edges_;
  std::optional<std::size_t> replaced_;  // the position placeRecord replaced
  StoreRollback store_;
  int exceptions_;
};

}  // namespace store
