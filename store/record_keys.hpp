// The key layout of records, edges and their catalogs in the key/value map, and the writing of
// one record under it. Writers change the map in memory only; the batch put commits.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/text.hpp"
#include "store/record.hpp"
#include "store/store_state.hpp"

namespace store {

// Catalog walks examine slots 0..65535; no entry is ever numbered beyond that.
inline constexpr std::int32_t kMaxCatalogSlots = 65536;

// "record/{0}/{1}": a record field key from the id and the field word.
Text recordKey(const Text& id, const Text& field);
// "edge/{0}/{1}": an edge field key from the id and the field word.
Text edgeKey(const Text& id, const Text& field);

// The stored integer text of a vector value: v * 1000000 in single precision, rounded half
// away from zero, saturated to 32 bits (a NaN stores 0).
std::int32_t scaleVectorValue(float value);

// The catalog slot for an item appended at list position listLength - 1: past both the stored
// count and the list, so a slot skipped at open is never reused. -1 when no slot is left.
std::int32_t nextCatalogSlot(const StoreState& state, const Text& countKey, std::size_t listLength);

// Stores "{0}/count" and "{0}/{1}" for each item; false at the first refused write.
bool putTextList(StoreState& state, const Text& prefix, const std::vector<Text>& items);
// Validates, places a copy in database.records (replace by id or append) and writes its keys.
// Memory running out throws std::bad_alloc with the database as it was.
bool putRecord(Database& database, const Record& record);
// Position of the first record with the id in database.records, or -1.
std::int32_t findRecordIndex(const Database& database, const Text& id);

}  // namespace store
