#include "retained/resource_key_index.hpp"

#include <cstddef>
#include <utility>

#include "runtime/text_hash.hpp"

namespace retained {
namespace {

// Room for `more` further elements, growing geometrically (a bare reserve(size + more) would
// reallocate on every insert).
template <typename List>
void growFor(List& list, std::size_t more) {
  const std::size_t needed = list.size() + more;
  if (needed <= list.capacity()) return;
  const std::size_t doubled = list.capacity() < 8 ? 8 : 2 * list.capacity();
  list.reserve(needed < doubled ? doubled : needed);
}

template <typename List>
void makeRoomForOne(List& list) {
  growFor(list, 1);
}

// Decimal digits of a number, its minus sign included.
std::size_t decimalLength(std::int32_t n) {
  std::size_t digits = n < 0 ? 2 : 1;
  for (std::int64_t rest = n < 0 ? -static_cast<std::int64_t>(n) : n; rest >= 10; rest /= 10) ++digits;
  return digits;
}

}  // namespace

ResourceKeyIndex ResourceKeyIndex::create(std::int32_t bucketCount) {
  const std::int32_t count = bucketCount < 1 ? 1 : bucketCount;
  ResourceKeyIndex index;
  index.bucketCount = static_cast<std::uint32_t>(count);
  index.heads.assign(static_cast<std::size_t>(count), -1);
  return index;
}

std::int32_t ResourceKeyIndex::bucketOf(std::string_view key) const {
  const auto count = static_cast<std::int32_t>(heads.size());
  // One bucket takes every key; the hash would only be reduced to 0.
  if (count <= 1) return 0;
  // The hash stays as the runtime defines it (counts reported to callers depend on it); only a
  // value outside the buckets, such as the 17 of an empty key, is brought into range.
  const std::int32_t h = runtime::textHash(key, count);
  if (h >= 0 && h < count) return h;
  const std::int32_t reduced = h % count;
  return reduced < 0 ? reduced + count : reduced;
}

std::string_view ResourceKeyIndex::keyOf(std::size_t node) const {
  const std::size_t begin = node == 0 ? 0 : keyEnds[node - 1];
  return std::string_view(keyBytes).substr(begin, keyEnds[node] - begin);
}

std::int32_t ResourceKeyIndex::find(std::string_view key, std::uint32_t& visited) const {
  visited = 0;
  // An index without nodes answers at once: no chain to walk, nothing to count.
  if (keyEnds.empty() || heads.empty()) return -1;
  std::int32_t node = heads[static_cast<std::size_t>(bucketOf(key))];
  while (node >= 0) {
    ++visited;
    const auto at = static_cast<std::size_t>(node);
    if (keyOf(at) == key) return static_cast<std::int32_t>(values[at]);
    node = next[at];
  }
  return -1;
}

std::int32_t ResourceKeyIndex::get(std::string_view key) {
  std::uint32_t visited = 0;
  const std::int32_t value = find(key, visited);
  probeCount += visited;
  return value;
}

std::uint32_t ResourceKeyIndex::putCounting(std::string_view key, std::uint32_t value) {
  if (heads.empty()) heads.assign(1, -1);
  const auto bucket = static_cast<std::size_t>(bucketOf(key));
  std::uint32_t visited = 0;
  for (std::int32_t node = heads[bucket]; node >= 0; node = next[static_cast<std::size_t>(node)]) {
    ++visited;
    if (keyOf(static_cast<std::size_t>(node)) == key) {
      values[static_cast<std::size_t>(node)] = value;
      return visited;
    }
  }
  // Grow the node lists before the key bytes, and link the node only once all of them hold it,
  // so a failed allocation leaves no half node. The bytes are appended, never reserved first: a
  // key read out of this index stays valid while they move.
  makeRoomForOne(keyEnds);
  makeRoomForOne(values);
  makeRoomForOne(next);
  keyBytes.append(key);
  keyEnds.push_back(keyBytes.size());
  values.push_back(value);
  next.push_back(heads[bucket]);
  heads[bucket] = static_cast<std::int32_t>(keyEnds.size() - 1);
  return visited;
}

void ResourceKeyIndex::put(std::string_view key, std::uint32_t value) { putCounting(key, value); }

void ResourceKeyIndex::reserveMore(std::size_t nodes, std::size_t bytes) {
  growFor(keyEnds, nodes);
  growFor(values, nodes);
  growFor(next, nodes);
  growFor(keyBytes, bytes);
}

void ResourceKeyIndex::clearNodes() {
  keyBytes.clear();
  keyEnds.clear();
  values.clear();
  next.clear();
  heads.assign(heads.size(), -1);
}

Text resourceKey(std::string_view kind, std::string_view id, std::int32_t n) {
  // Every lookup builds a key, so the five fields are appended into one reserved text instead of
  // going through the general placeholder formatter; the text is the same.
  const Text kindLength = runtime::intToText(static_cast<std::int32_t>(kind.size()));
  const Text idLength = runtime::intToText(static_cast<std::int32_t>(id.size()));
  const Text number = runtime::intToText(n);
  Text key;
  key.reserve(resourceKeyLength(kind, id, n));
  key.append(kindLength).append(1, ':').append(kind).append(1, ':');
  key.append(idLength).append(1, ':').append(id).append(1, ':').append(number);
  return key;
}

std::size_t resourceKeyLength(std::string_view kind, std::string_view id, std::int32_t n) {
  return decimalLength(static_cast<std::int32_t>(kind.size())) + kind.size() +
         decimalLength(static_cast<std::int32_t>(id.size())) + id.size() + decimalLength(n) + 4;
}

}  // namespace retained
