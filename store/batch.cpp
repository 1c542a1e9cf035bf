// The batch put: records, then edges with their keys and catalog, then one commit.
#include "store/batch.hpp"

#include "store/database_rollback.hpp"
#include "store/record_keys.hpp"

namespace store {

namespace {

using runtime::intToText;

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

  StoreState& state = database.store;
  const Text& id = edge.id;
  bool stored = storePut(state, edgeKey(id, "id"), edge.id) && storePut(state, edgeKey(id, "tenant"), edge.tenant) &&
                storePut(state, edgeKey(id, "from"), edge.from) && storePut(state, edgeKey(id, "to"), edge.to) &&
                storePut(state, edgeKey(id, "kind"), edge.kind) &&
                storePut(state, edgeKey(id, "created"), intToText(edge.created));
  stored = storePut(state, "edge/" + id + "/properties/count",
                    intToText(static_cast<std::int32_t>(edge.properties.size()))) &&
           stored;
  for (std::size_t n = 0; stored && n < edge.properties.size(); ++n) {
    const Text property = "edge/" + id + "/properties/" + std::to_string(n);
    stored = storePut(state, property + "/key", edge.properties[n].key) &&
             storePut(state, property + "/value", edge.properties[n].value);
  }
  if (replaced || !stored) return stored;

  const std::int32_t slot = nextCatalogSlot(state, "catalog/edges/count", database.edges.size());
  if (slot < 0) return false;
  return storePut(state, "catalog/edges/count", intToText(slot + 1)) &&
         storePut(state, "catalog/edges/" + intToText(slot), edge.id);
}

}  // namespace

bool putBatch(Database& database, const RecordBatch& batch) {
  const DatabaseRollback rollback(database, batch.records, batch.edges);  // running out of memory changes nothing
  for (const Record& record : batch.records) {
    if (!putRecord(database, record)) return false;
  }
  for (const Edge& edge : batch.edges) {
    if (!putEdge(database, edge)) return false;
  }
  return commitStore(database.store);
}

}  // namespace store
