// The copies a database rollback keeps, and the setting back.
#include "store/database_rollback.hpp"

#include <exception>
#include <utility>

namespace store {

namespace {

// Copies of the items of `list` that share an id with one of `puts`, by position.
template <typename Item>
std::vector<std::pair<std::size_t, Item>> copiesOf(const std::vector<Item>& list, std::span<const Item> puts) {
  std::vector<std::pair<std::size_t, Item>> copies;
  for (const Item& put : puts) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].id == put.id) {
        copies.emplace_back(i, list[i]);
        break;
      }
    }
  }
  return copies;
}

// Puts the copies back, the first one taken of a position last, and drops what was appended.
template <typename Item>
void restore(std::vector<Item>& list, std::size_t count, std::vector<std::pair<std::size_t, Item>>& copies) {
  for (auto copy = copies.rbegin(); copy != copies.rend(); ++copy) {
    if (copy->first < list.size()) list[copy->first] = std::move(copy->second);
  }
  if (list.size() > count) list.erase(list.begin() + static_cast<std::ptrdiff_t>(count), list.end());
}

// The record that this thread's last placeRecord replaced. The next one copies into its buffers,
// which a record of the same shape fills without allocating, and swaps the copy into place.
Record& spareRecord() {
  thread_local Record spare;
  return spare;
}

}  // namespace

DatabaseRollback::DatabaseRollback(Database& database, std::span<const Record> records, std::span<const Edge> edges)
    : database_(database),
      recordCount_(database.records.size()),
      edgeCount_(database.edges.size()),
      records_(copiesOf(database.records, records)),
      edges_(copiesOf(database.edges, edges)),
      store_(database.store),
      exceptions_(std::uncaught_exceptions()) {}

void DatabaseRollback::placeRecord(std::int32_t existing, const Record& record) {
  if (existing < 0) {
    database_.records.push_back(record);
    return;
  }
  Record& spare = spareRecord();
  spare = record;  // running out of memory part way leaves only the spare half written
  replaced_ = static_cast<std::size_t>(existing);
  std::swap(database_.records[*replaced_], spare);
}

DatabaseRollback::~DatabaseRollback() {
  if (std::uncaught_exceptions() <= exceptions_) return;
  if (replaced_.has_value()) std::swap(database_.records[*replaced_], spareRecord());
  restore(database_.records, recordCount_, records_);
  restore(database_.edges, edgeCount_, edges_);
}

}  // namespace store
