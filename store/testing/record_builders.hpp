// The records and edges that the store's tests, benchmarks and fuzz seeds store: each passes
// validation. Header-only and free of any test framework, so that every one of them can include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "store/record.hpp"

namespace store::testing {

// A record with the fields every valid record needs: tenant "oreb", the directory container,
// internal and canonical; nothing else is set.
inline Record basicRecord(const std::string& id, const std::string& kind, std::string content, const std::string& space,
                          std::int32_t created, std::int32_t updated) {
  Record record;
  record.id = id;
  record.tenant = "oreb";
  record.space = space;
  record.container = "directory";
  record.kind = kind;
  record.content = std::move(content);
  record.created = created;
  record.updated = updated;
  record.classification = "internal";
  record.lifecycle = "canonical";
  return record;
}

// An "owned-by" edge of tenant "oreb" from the animal to its owner.
inline Edge ownedByEdge(const std::string& id, const std::string& from, const std::string& to, std::int32_t created) {
  Edge edge;
  edge.id = id;
  edge.tenant = "oreb";
  edge.from = from;
  edge.to = to;
  edge.kind = "owned-by";
  edge.created = created;
  return edge;
}

// The tests' record: every list of a record holds something, so that each is written and read.
inline Record sampleRecord(const std::string& id, const std::string& kind = "customer") {
  Record record = basicRecord(id, kind, "Name of " + id, "clinic", 10, 20);
  record.purpose = "test";
  record.permissions = {"read", "write"};
  record.properties = {{"detail", "detail of " + id}};
  record.vector = {0.25f, -1.5f};
  record.provenance = {"seed"};
  return record;
}

// The tests' edge.
inline Edge sampleEdge(const std::string& id, const std::string& from, const std::string& to) {
  return ownedByEdge(id, from, to, 5);
}

// A directory record whose content is `contentBytes` bytes, with two properties and no lists: the
// benchmarks size a store through it.
inline Record sizedRecord(const std::string& id, const std::string& kind, std::size_t contentBytes) {
  Record record = basicRecord(id, kind, std::string(contentBytes, 'n'), "veterinary", 1, 2);
  record.properties = {{"detail", "Detail text of " + id}, {"phone", "555-0100"}};
  return record;
}

// A directory record named as the program shows it, with a permission, a property and a vector.
inline Record namedRecord(const std::string& id, const std::string& kind, const std::string& name) {
  Record record = basicRecord(id, kind, name, "veterinary", 1, 2);
  record.permissions = {"staff"};
  record.properties = {{"detail", "Detail of " + name}};
  record.vector = {0.5f, -1.25f};
  return record;
}

// An owner edge with properties, so that the reading of an edge's property slots is reached too.
inline Edge ownedByEdgeWithProperties(const std::string& id, const std::string& animal, const std::string& owner) {
  Edge edge = ownedByEdge(id, animal, owner, 1);
  edge.properties = {{"since", "2024-03"}, {"note", "Primary owner of " + animal}};
  return edge;
}

}  // namespace store::testing
