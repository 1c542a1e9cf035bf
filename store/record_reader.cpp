// Rebuilding records and edges from their keys; every absence reads as empty or zero.
#include "store/record_reader.hpp"

#include <string>
#include <string_view>

#include "store/record_keys.hpp"

namespace store {

namespace {

using runtime::parseInt;

constexpr std::int32_t kMaxListSlots = 4096;
constexpr std::int32_t kMaxPropertySlots = 256;

// Looks keys up through one reused buffer: open reads tens of thousands of keys, and building
// each in a fresh text costs more than the lookup. Keys are the same bytes as their templates.
class KeyReader {
 public:
  explicit KeyReader(const StoreState& state) : state_(state) { key_.reserve(128); }

  // The live value under the concatenated key, or null.
  const Text* find(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {}) {
    key_.assign(a).append(b).append(c).append(d);
    const std::int32_t i = state_.entries.find(key_);
    if (i < 0) return nullptr;
    const StoreEntry& entry = state_.entries[static_cast<std::size_t>(i)];
    return entry.deleted ? nullptr : &entry.value;
  }
  Text text(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {}) {
    const Text* value = find(a, b, c, d);
    return value != nullptr ? *value : Text();
  }
  std::int32_t number(std::string_view a, std::string_view b = {}, std::string_view c = {}, std::string_view d = {}) {
    const Text* value = find(a, b, c, d);
    return parseInt(value != nullptr ? std::string_view(*value) : std::string_view());
  }

 private:
  const StoreState& state_;
  Text key_;
};

// Properties under "<owner>/properties/...": a missing key or value reads as "", a slot is
// always appended.
std::vector<Property> readProperties(KeyReader& reader, const Text& owner) {
  std::vector<Property> properties;
  const std::int32_t n = reader.number(owner, "/properties/count");
  for (std::int32_t i = 0; i < n && i < kMaxPropertySlots; ++i) {
    const Text slot = std::to_string(i);
    Text key = reader.text(owner, "/properties/", slot, "/key");
    properties.push_back({std::move(key), reader.text(owner, "/properties/", slot, "/value")});
  }
  return properties;
}

std::vector<Text> readList(KeyReader& reader, const Text& prefix) {
  std::vector<Text> items;
  const Text* count = reader.find(prefix, "/count");
  if (count == nullptr) return items;
  const std::int32_t n = parseInt(*count);
  for (std::int32_t i = 0; i < n && i < kMaxListSlots; ++i) {
    if (const Text* item = reader.find(prefix, "/", std::to_string(i)); item != nullptr) items.push_back(*item);
  }
  return items;
}

}  // namespace

std::vector<Text> readTextList(const StoreState& state, const Text& prefix) {
  KeyReader reader(state);
  return readList(reader, prefix);
}

Record readRecord(const Database& database, const Text& id) {
  KeyReader reader(database.store);
  const Text prefix = "record/" + id;
  const Text* storedId = reader.find(prefix, "/id");
  if (storedId == nullptr) return {};
  Record record;
  record.id = *storedId;
  record.tenant = reader.text(prefix, "/tenant");
  record.space = reader.text(prefix, "/space");
  record.container = reader.text(prefix, "/container");
  record.kind = reader.text(prefix, "/kind");
  record.content = reader.text(prefix, "/content");
  record.classification = reader.text(prefix, "/classification");
  record.lifecycle = reader.text(prefix, "/lifecycle");
  record.purpose = reader.text(prefix, "/purpose");
  record.created = reader.number(prefix, "/created");
  record.updated = reader.number(prefix, "/updated");
  record.expires = reader.number(prefix, "/expires");
  record.permissions = readList(reader, prefix + "/permissions");
  record.compartments = readList(reader, prefix + "/compartments");
  record.provenance = readList(reader, prefix + "/provenance");
  record.contentRefs = readList(reader, prefix + "/content-refs");
  record.properties = readProperties(reader, prefix);

  const std::int32_t n = reader.number(prefix, "/vector/count");
  for (std::int32_t i = 0; i < n && i < kMaxListSlots; ++i) {
    const std::int32_t scaled = reader.number(prefix, "/vector/", std::to_string(i));
    record.vector.push_back(static_cast<float>(scaled) / 1000000.0f);
  }
  return record;
}

Edge readEdge(const Database& database, const Text& id) {
  KeyReader reader(database.store);
  const Text prefix = "edge/" + id;
  const Text* storedId = reader.find(prefix, "/id");
  if (storedId == nullptr) return {};
  Edge edge;
  edge.id = *storedId;
  edge.tenant = reader.text(prefix, "/tenant");
  edge.from = reader.text(prefix, "/from");
  edge.to = reader.text(prefix, "/to");
  edge.kind = reader.text(prefix, "/kind");
  edge.created = reader.number(prefix, "/created");
  edge.properties = readProperties(reader, prefix);
  return edge;
}

}  // namespace store
