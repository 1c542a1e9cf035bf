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
  if (!textWithinBytes(record.id, 256)) return false;
  if (!textWithinBytes(record.tenant, 256)) return false;
  if (!textWithinBytes(record.space, 512)) return false;
  if (!textWithinBytes(record.container, 256)) return false;
  if (!textWithinBytes(record.kind, 128)) return false;
  if (record.content.size() > 1048576) return false;
  if (record.created < 0) return false;
  if (record.created > record.updated) return false;
  if (record.expires > 0 && record.created >= record.expires) return false;
  if (record.permissions.size() > 64 || record.compartments.size() > 64 || record.properties.size() > 256 ||
      record.vector.size() > 4096 || record.provenance.size() > 64 || record.contentRefs.size() > 64) {
    return false;
  }
  for (const Property& property : record.properties) {
    if (!textWithinBytes(property.key, 256) || property.value.size() > 65536) return false;
  }
  if (!isOneOf(record.classification, kClassifications)) return false;
  if (!isOneOf(record.lifecycle, kLifecycles)) return false;
  return true;
}

bool validateEdge(const Edge& edge) {
  if (!textWithinBytes(edge.id, 256) || !textWithinBytes(edge.tenant, 256) || !textWithinBytes(edge.from, 256) ||
      !textWithinBytes(edge.to, 256)) {
    return false;
  }
  if (edge.from == edge.to) return false;
  if (!textWithinBytes(edge.kind, 128)) return false;
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
