// The string-keyed chained hash index behind every lookup of the retained store, and the single
// key form used with it. Chains live in parallel lists; nodes are only ever appended, and new
// nodes go to the head of their chain. Lookups report how many chain nodes they visit, because
// those counts are part of what the store reports. Nothing here fails but by running out of
// memory; an absent key is the answer -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/text.hpp"

namespace retained {

using runtime::Text;

struct ResourceKeyIndex {
  std::uint32_t bucketCount = 1;
  std::vector<std::int32_t> heads = std::vector<std::int32_t>(1, -1);  // -1: empty bucket
  // Every node's key, back to back in node order: node i's key ends at keyEnds[i] and begins
  // where node i - 1's ends (at 0 for node 0). One list of bytes instead of a text per key keeps
  // a store's tens of thousands of keys in less than half the memory (a key's bytes and its
  // end, against a text and its own allocation), near one another, and puts and releases them
  // without one allocation each.
  Text keyBytes;
  std::vector<std::size_t> keyEnds;
  std::vector<std::uint32_t> values;
  std::vector<std::int32_t> next;  // -1: end of chain
  std::uint32_t probeCount = 0;    // nodes visited by get() since creation

  // A bucket count below 1 is taken as 1.
  static ResourceKeyIndex create(std::int32_t bucketCount);

  // The runtime's text hash over the bucket count, reduced into 0 .. bucketCount-1 (the empty
  // key hashes to 17 whatever the count).
  std::int32_t bucketOf(std::string_view key) const;

  // Insert or overwrite; counts nothing.
  void put(std::string_view key, std::uint32_t value);

  // The value under the key or -1; every node visited, the matching one included, adds 1 to
  // probeCount.
  std::int32_t get(std::string_view key);

  // The value under the key or -1, counting nowhere; visited receives the nodes walked.
  std::int32_t find(std::string_view key, std::uint32_t& visited) const;

  // put() that answers the nodes it examined: the chain position of an existing key, or the
  // length of the chain a new key joins. A failed allocation leaves the index as it was.
  std::uint32_t putCounting(std::string_view key, std::uint32_t value);

  // Room for `nodes` more nodes whose keys hold `bytes` bytes in all, so that putting them
  // allocates nothing.
  void reserveMore(std::size_t nodes, std::size_t bytes);

  // Drops every node and empties every bucket; the bucket count and probeCount stay.
  void clearNodes();

  std::string_view keyOf(std::size_t node) const;
  std::uint32_t nodeCount() const { return static_cast<std::uint32_t>(keyEnds.size()); }
};

// "{kind length}:{kind}:{id length}:{id}:{n}", lengths in bytes; the length prefixes keep keys
// distinct whatever colons an id holds.
Text resourceKey(std::string_view kind, std::string_view id, std::int32_t n);

// The byte length of that key, without making it.
std::size_t resourceKeyLength(std::string_view kind, std::string_view id, std::int32_t n);

}  // namespace retained
