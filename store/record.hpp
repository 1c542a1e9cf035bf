// Records, edges and the database that holds them over the key/value map, and the validators
// every record and edge passes before it is written and after it is read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/text.hpp"
#include "store/store_state.hpp"

namespace store {

// The limits a valid record or edge keeps, in bytes of UTF-8 or in items.
inline constexpr std::int32_t kMaxIdBytes = 256;  // ids, tenants, containers, edge ends, property keys
inline constexpr std::int32_t kMaxSpaceBytes = 512;
inline constexpr std::int32_t kMaxKindBytes = 128;
inline constexpr std::size_t kMaxContentBytes = 1048576;
inline constexpr std::size_t kMaxPropertyValueBytes = 65536;
inline constexpr std::size_t kMaxListItems = 64;  // permissions, compartments, provenance, content refs
inline constexpr std::size_t kMaxProperties = 256;
inline constexpr std::size_t kMaxVectorItems = 4096;
// A vector item is stored as an integer: the value times this, rounded.
inline constexpr float kVectorScale = 1000000.0f;

// One named value of a record or an edge.
struct Property {
  Text key;
  Text value;
};

// A typed item with identity, scope, content, times, classification, lifecycle and lists.
struct Record {
  Text id;
  Text tenant;
  Text space;
  Text container;
  Text kind;
  Text content;
  std::int32_t created = 0;
  std::int32_t updated = 0;
  std::int32_t expires = 0;  // 0 or less: never expires
  Text classification;
  Text lifecycle;
  Text purpose;
  std::vector<Text> permissions;
  std::vector<Text> compartments;
  std::vector<Property> properties;
  std::vector<float> vector;  // stored as integers scaled by kVectorScale
  std::vector<Text> provenance;
  std::vector<Text> contentRefs;
};

// A typed, directed relation from one record to another.
struct Edge {
  Text id;
  Text tenant;
  Text from;
  Text to;
  Text kind;
  std::int32_t created = 0;
  std::vector<Property> properties;
};

// The record and edge database: its key/value map and the records and edges in catalog order.
struct Database {
  Text schema = "corvane.database.v1";
  StoreState store;
  std::vector<Record> records;
  std::vector<Edge> edges;
};

// True when the record obeys every length, time, count, classification and lifecycle rule.
bool validateRecord(const Record& record);
// True when the edge's texts are within their limits, its ends differ and created is not negative.
bool validateEdge(const Edge& edge);
// The value of the record's first property with the key, or "".
Text recordProperty(const Record& record, const Text& key);

}  // namespace store
