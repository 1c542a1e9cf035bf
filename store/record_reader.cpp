// Rebuilding records and edges from their keys; every absence reads as empty or zero.
#include "store/record_reader.hpp"

#include <string>

#include "store/record_keys.hpp"

namespace store {

namespace {

using runtime::formatText;
using runtime::parseInt;

constexpr std::int32_t kMaxListSlots = 4096;
constexpr std::int32_t kMaxPropertySlots = 256;

Text valueOrEmpty(const StoreState& state, const Text& key) { return storeGet(state, key).value; }

std::vector<Property> readProperties(const StoreState& state, const Text& countKey, const Text& keyTemplate,
                                     const Text& valueTemplate, const Text& owner) {
  std::vector<Property> properties;
  const std::int32_t n = parseInt(valueOrEmpty(state, countKey));
  for (std::int32_t i = 0; i < n && i < kMaxPropertySlots; ++i) {
    const Text index = std::to_string(i);
    properties.push_back({valueOrEmpty(state, formatText(keyTemplate, {owner, index})),
                          valueOrEmpty(state, formatText(valueTemplate, {owner, index}))});
  }
  return properties;
}

}  // namespace

std::vector<Text> readTextList(const StoreState& state, const Text& prefix) {
  std::vector<Text> items;
  const StoreLookup count = storeGet(state, formatText("{0}/count", {prefix}));
  if (!count.found) return items;
  const std::int32_t n = parseInt(count.value);
  for (std::int32_t i = 0; i < n && i < kMaxListSlots; ++i) {
    StoreLookup item = storeGet(state, formatText("{0}/{1}", {prefix, std::to_string(i)}));
    if (item.found) items.push_back(std::move(item.value));
  }
  return items;
}

Record readRecord(const Database& database, const Text& id) {
  const StoreState& state = database.store;
  StoreLookup stored = storeGet(state, recordKey(id, "id"));
  if (!stored.found) return {};
  Record record;
  record.id = std::move(stored.value);
  record.tenant = valueOrEmpty(state, recordKey(id, "tenant"));
  record.space = valueOrEmpty(state, recordKey(id, "space"));
  record.container = valueOrEmpty(state, recordKey(id, "container"));
  record.kind = valueOrEmpty(state, recordKey(id, "kind"));
  record.content = valueOrEmpty(state, recordKey(id, "content"));
  record.classification = valueOrEmpty(state, recordKey(id, "classification"));
  record.lifecycle = valueOrEmpty(state, recordKey(id, "lifecycle"));
  record.purpose = valueOrEmpty(state, recordKey(id, "purpose"));
  record.created = parseInt(valueOrEmpty(state, recordKey(id, "created")));
  record.updated = parseInt(valueOrEmpty(state, recordKey(id, "updated")));
  record.expires = parseInt(valueOrEmpty(state, recordKey(id, "expires")));

  const Text prefix = formatText("record/{0}", {id});
  record.permissions = readTextList(state, formatText("{0}/permissions", {prefix}));
  record.compartments = readTextList(state, formatText("{0}/compartments", {prefix}));
  record.provenance = readTextList(state, formatText("{0}/provenance", {prefix}));
  record.contentRefs = readTextList(state, formatText("{0}/content-refs", {prefix}));
  record.properties = readProperties(state, formatText("{0}/properties/count", {prefix}), "{0}/properties/{1}/key",
                                     "{0}/properties/{1}/value", prefix);

  const std::int32_t n = parseInt(valueOrEmpty(state, formatText("{0}/vector/count", {prefix})));
  for (std::int32_t i = 0; i < n && i < kMaxListSlots; ++i) {
    const std::int32_t scaled = parseInt(valueOrEmpty(state, formatText("{0}/vector/{1}", {prefix, std::to_string(i)})));
    record.vector.push_back(static_cast<float>(scaled) / 1000000.0f);
  }
  return record;
}

Edge readEdge(const Database& database, const Text& id) {
  const StoreState& state = database.store;
  StoreLookup stored = storeGet(state, edgeKey(id, "id"));
  if (!stored.found) return {};
  Edge edge;
  edge.id = std::move(stored.value);
  edge.tenant = valueOrEmpty(state, edgeKey(id, "tenant"));
  edge.from = valueOrEmpty(state, edgeKey(id, "from"));
  edge.to = valueOrEmpty(state, edgeKey(id, "to"));
  edge.kind = valueOrEmpty(state, edgeKey(id, "kind"));
  edge.created = parseInt(valueOrEmpty(state, edgeKey(id, "created")));
  edge.properties = readProperties(state, formatText("edge/{0}/properties/count", {id}), "edge/{0}/properties/{1}/key",
                                   "edge/{0}/properties/{1}/value", id);
  return edge;
}

}  // namespace store
