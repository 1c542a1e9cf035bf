// The keys of records, edges and their catalogs in the key/value map (record_layout.hpp lays them
// out), and the writing of records and edges under them. Writers change the map in memory only;
// the batch put commits.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/record_layout.hpp"
#include "store/store_state.hpp"

namespace store {

// "<stem><id>": the owner under which the fields of a record or an edge are stored.
Text ownerKey(std::string_view stem, std::string_view id);
// "<owner>/<name>": a key under an owner, a list or a catalog.
Text fieldKey(std::string_view owner, std::string_view name);
// "record/{0}/{1}": a record field key from the id and the field word.
Text recordKey(std::string_view id, std::string_view field);
// "edge/{0}/{1}": an edge field key from the id and the field word.
Text edgeKey(std::string_view id, std::string_view field);

// The stored integer text of a vector value: v * 1000000 in single precision, rounded half
// away from zero, saturated to 32 bits (a NaN stores 0).
std::int32_t scaleVectorValue(float value);

// A slot number of a list, the properties, a vector or a catalog as the writers spell it
// (decimal digits, no leading zero, at most five) and below the limit; -1 for anything else, which
// no slot lookup would ask for.
std::int32_t slotNumber(std::string_view text, std::int32_t limit);

// The catalog slot for an item appended at list position listLength - 1: past both the stored
// count and the list, so a slot skipped at open is never reused. -1 when no slot is left.
std::int32_t nextCatalogSlot(const StoreState& state, const Text& countKey, std::size_t listLength);

// Stores "{0}/count" and "{0}/{1}" for each item; false at the first refused write.
bool putTextList(StoreState& state, const Text& prefix, const std::vector<Text>& items);
// Writes the edge's keys in the order of kEdgeFields; false once a write was refused. The count
// of its properties is written even then, their items only while all is well.
bool putEdgeKeys(StoreState& state, const Edge& edge);
// Names the id in the next slot of the catalog (see nextCatalogSlot) and counts it; false when
// no slot is left or a write was refused.
bool putInCatalog(StoreState& state, std::string_view catalog, std::size_t listLength, const Text& id);
// Validates, places a copy in database.records (replace by id or append) and writes its keys in
// the order of kRecordFields, then, for a new record, its catalog slot. As for an edge, the counts
// of its properties and of its vector are written even after a refused write. Memory running out
// throws std::bad_alloc with the database as it was.
bool putRecord(Database& database, const Record& record);
// Position of the first record with the id in database.records, or -1.
std::int32_t findRecordIndex(const Database& database, const Text& id);

}  // namespace store
