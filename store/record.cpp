// Validation of records and edges, and the property lookup.
#include "store/record.hpp"

#include <array>
#include <string_view>

namespace store {

namespace {

constexpr std::array<std::string_view, 5> kClassifications = {"public", "internal", "confidential", "secret",
                                                              "top_secret"};
constexpr std::array<std::string_view, 7> kLifecycles = {"scratch",   "session",  "short_term", "long_term",
                                                         "canonical", "archival", "forgotten"};

template <std::size_t N>
bool isOneOf(const Text& word, const std::array<std::string_view, N>& words) {
  for (std::string_view candidate : words) {
    if (word == candidate) return true;
  }
  return false;
}

}  // namespace

bool validateRecord(const Record& record) {
  if (!textWithinBytes(record.id, kMaxIdBytes)) return false;
  if (!textWithinBytes(record.tenant, kMaxIdBytes)) return false;
  if (!textWithinBytes(record.space, kMaxSpaceBytes)) return false;
  if (!textWithinBytes(record.container, kMaxIdBytes)) return false;
  if (!textWithinBytes(record.kind, kMaxKindBytes)) return false;
  if (record.content.size() > kMaxContentBytes) return false;
  if (record.created < 0) return false;
  if (record.created > record.updated) return false;
  if (record.expires > 0 && record.created >= record.expires) return false;
  if (record.permissions.size() > kMaxListItems || record.compartments.size() > kMaxListItems ||
      record.properties.size() > kMaxProperties || record.vector.size() > kMaxVectorItems ||
      record.provenance.size() > kMaxListItems || record.contentRefs.size() > kMaxListItems) {
    return false;
  }
  for (const Property& property : record.properties) {
    if (!textWithinBytes(property.key, kMaxIdBytes) || property.value.size() > kMaxPropertyValueBytes) return false;
  }
  if (!isOneOf(record.classification, kClassifications)) return false;
  if (!isOneOf(record.lifecycle, kLifecycles)) return false;
  return true;
}

bool validateEdge(const Edge& edge) {
  if (!textWithinBytes(edge.id, kMaxIdBytes) || !textWithinBytes(edge.tenant, kMaxIdBytes) ||
      !textWithinBytes(edge.from, kMaxIdBytes) || !textWithinBytes(edge.to, kMaxIdBytes)) {
    return false;
  }
  if (edge.from == edge.to) return false;
  if (!textWithinBytes(edge.kind, kMaxKindBytes)) return false;
  if (edge.created < 0) return false;
  return true;
}

Text recordProperty(const Record& record, const Text& key) {
  for (const Property& property : record.properties) {
    if (property.key == key) return property.value;
  }
  return {};
}

}  // namespace store
