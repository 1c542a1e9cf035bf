// The batch put: records, then edges with their keys and catalog, then one commit.
#include "store/batch.hpp"

#include "store/database_rollback.hpp"
#include "store/record_keys.hpp"
#include "store/store_commit.hpp"

namespace store {

namespace {

bool putEdge(Database& database, const Edge& edge) {
  if (!validateEdge(edge)) return false;
  if (findRecordIndex(database, edge.from) < 0 || findRecordIndex(database, edge.to) < 0) return false;
  bool replaced = false;
  for (Edge& existing : database.edges) {
    if (existing.id == edge.id) {
      existing = edge;
      replaced = true;
      break;
    }
  }
  if (!replaced) database.edges.push_back(edge);

  const bool stored = putEdgeKeys(database.store, edge);
  if (replaced || !stored) return stored;
  return putInCatalog(database.store, kEdgeLayout.catalog, database.edges.size(), edge.id);
}

}  // namespace

bool putBatch(Database& database, const RecordBatch& batch, SnapshotIdentity* walWritten) {
  if (walWritten != nullptr) *walWritten = SnapshotIdentity{};
  const DatabaseRollback rollback(database, batch.records, batch.edges);  // running out of memory changes nothing
  for (const Record& record : batch.records) {
    if (!putRecord(database, record)) return false;
  }
  for (const Edge& edge : batch.edges) {
    if (!putEdge(database, edge)) return false;
  }
  return commitStore(database.store, walWritten);
}

}  // namespace store
