// The slot index against a std::unordered_map that keeps the first position of each key, over
// random keys with repeats, through every growth; probe chains that collide and wrap around
// the table's end; reserve's promises.
#include "runtime/slot_index.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace runtime {
namespace {

// The owner's sequence of keys: the index files positions in it.
struct Keys {
  std::vector<std::string> at;
  auto keyAt() const {
    return [this](std::int32_t i) -> std::string_view { return at[static_cast<std::size_t>(i)]; };
  }
};

bool isPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

// How a key is filed: through insert, or through probe and fill as an owner that appends the
// key only when it is new does.
enum class Filing { Insert, ProbeAndFill };

std::int32_t file(SlotIndex& index, Keys& keys, const std::string& key, std::uint32_t hash, Filing filing) {
  const auto position = static_cast<std::int32_t>(keys.at.size());
  if (filing == Filing::Insert) {
    keys.at.push_back(key);  // repeated keys stay in the sequence; the index files the first
    return index.insert(key, hash, position, keys.keyAt());
  }
  index.reserve(index.size() + 1);
  const SlotIndex::Probe at = index.probe(key, hash, keys.keyAt());
  if (at.found != SlotIndex::kAbsent) return at.found;
  keys.at.push_back(key);
  index.fill(at, hash, position);
  return position;
}

// The hash the owner files a key under: the index's own, or one that sends every key to the
// same probe chain (the last slot, so that the chain wraps to the table's start).
using HashFn = std::uint32_t (*)(std::string_view);
std::uint32_t ownHash(std::string_view key) { return SlotIndex::hashOf(key); }
std::uint32_t sameHash(std::string_view) { return 0xFFFFFFFFU; }

struct ModelCase {
  const char* name;
  std::size_t operations;
  std::size_t distinctKeys;  // keys are drawn from this many, so that they repeat
  Filing filing;
  HashFn hash;
};

using Model = std::unordered_map<std::string, std::int32_t>;

std::string keyNumber(std::size_t k) { return "key-" + std::to_string(k); }

// The first key, of those the case draws from and a few it never draws, that the index finds
// elsewhere than the model; empty when there is none.
std::string firstMisplacedKey(const SlotIndex& index, const Keys& keys, const Model& model, const ModelCase& c) {
  for (std::size_t k = 0; k < c.distinctKeys + 10; ++k) {
    std::string key = keyNumber(k);
    const auto expected = model.find(key);
    const std::int32_t position = index.find(key, c.hash(key), keys.keyAt());
    if (position != (expected == model.end() ? SlotIndex::kAbsent : expected->second)) return key;
  }
  return {};
}

// Files the case's random keys one by one, comparing with the model as it goes; returns what
// went wrong first, or empty.
std::string runAgainstModel(const ModelCase& c) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<std::size_t> pick(0, c.distinctKeys - 1);
  SlotIndex index;
  Keys keys;
  Model model;
  for (std::size_t op = 0; op < c.operations; ++op) {
    const std::string key = keyNumber(pick(random));
    const std::int32_t expected = model.try_emplace(key, static_cast<std::int32_t>(keys.at.size())).first->second;
    if (file(index, keys, key, c.hash(key), c.filing) != expected) return "filing " + key;
    if (index.size() != model.size()) return "size after " + key;
    if (!isPowerOfTwo(index.capacity()) || index.capacity() < index.size() * 2) return "capacity after " + key;
    if (op % 997 == 0 || op + 1 == c.operations) {
      std::string misplaced = firstMisplacedKey(index, keys, model, c);
      if (!misplaced.empty()) return misplaced.append(", found after filing ").append(key);
    }
  }
  return {};
}

TEST(SlotIndexTest, AgreesWithAMapOfFirstPositions) {
  const ModelCase cases[] = {
      {"few keys, many repeats", 2000, 20, Filing::Insert, ownHash},
      {"many keys through several growths", 20000, 12000, Filing::Insert, ownHash},
      {"probe and fill", 20000, 12000, Filing::ProbeAndFill, ownHash},
      {"every key on one chain", 600, 300, Filing::Insert, sameHash},
      {"one chain, probe and fill", 600, 300, Filing::ProbeAndFill, sameHash},
  };
  for (const ModelCase& c : cases) EXPECT_EQ(runAgainstModel(c), "") << c.name;
}

TEST(SlotIndexTest, KeysOfOneHashAreToldApartByTheirText) {
  SlotIndex index;
  Keys keys{{"a", "b", "", "ab"}};
  for (std::int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(index.insert(keys.at[static_cast<std::size_t>(i)], 7, i, keys.keyAt()), i);
  }
  EXPECT_EQ(index.find("ab", 7, keys.keyAt()), 3);
  EXPECT_EQ(index.find("", 7, keys.keyAt()), 2);
  EXPECT_EQ(index.find("a", 7, keys.keyAt()), 0);
  EXPECT_EQ(index.find("ba", 7, keys.keyAt()), SlotIndex::kAbsent);
  // The right text under another hash is another key.
  EXPECT_EQ(index.find("a", 8, keys.keyAt()), SlotIndex::kAbsent);
}

TEST(SlotIndexTest, EmptyAndClearedIndexesFindNothing) {
  Keys keys{{"x", "x"}};
  SlotIndex index;
  EXPECT_EQ(index.capacity(), 0U);
  EXPECT_EQ(index.find("x", keys.keyAt()), SlotIndex::kAbsent);
  index.insert("x", SlotIndex::hashOf("x"), 0, keys.keyAt());
  EXPECT_EQ(index.find("x", keys.keyAt()), 0);
  index.clear();
  EXPECT_EQ(index.size(), 0U);
  EXPECT_EQ(index.find("x", keys.keyAt()), SlotIndex::kAbsent);
  // Filed again after the clear, at another position.
  EXPECT_EQ(index.insert("x", SlotIndex::hashOf("x"), 1, keys.keyAt()), 1);
  EXPECT_EQ(index.find("x", keys.keyAt()), 1);
}

TEST(SlotIndexTest, ReservedRoomIsFilledWithoutMovingASlot) {
  for (const std::size_t count : {1U, 16U, 100U, 4096U, 5000U}) {
    SlotIndex index;
    Keys keys;
    index.reserve(count);
    const std::size_t capacity = index.capacity();
    EXPECT_GE(capacity, count * 2) << count;
    for (std::size_t i = 0; i < count; ++i) {
      keys.at.push_back("k" + std::to_string(i));
      const std::string_view key = keys.at.back();
      const std::uint32_t hash = SlotIndex::hashOf(key);
      index.prefetch(hash);  // as a caller that puts keys a group at a time does
      const SlotIndex::Probe at = index.probe(key, hash, keys.keyAt());
      ASSERT_EQ(at.found, SlotIndex::kAbsent);
      index.fill(at, hash, static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(index.capacity(), capacity) << count;
    // A smaller reserve afterwards changes nothing either.
    index.reserve(count / 2);
    EXPECT_EQ(index.capacity(), capacity) << count;
    for (std::size_t i = 0; i < count; ++i)
      ASSERT_EQ(index.find(keys.at[i], keys.keyAt()), static_cast<std::int32_t>(i));
  }
}

TEST(SlotIndexTest, AReserveThatCannotBeMetThrowsAndLeavesTheIndexAsItWas) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  constexpr std::size_t kHalf = kMax / 2 + 1;  // the first count whose double wraps
  // Every count here is beyond any table: those above kMax / 4 are refused before the doubling
  // (kHalf and above would wrap it to 0, 2 or 16, the three-key index's capacity), the rest ask for
  // more slots than a vector can hold.
  const std::size_t counts[] = {kMax,      kMax - 1,     kHalf + 8, kHalf + 1, kHalf,
                                kHalf - 1, kMax / 4 + 1, kMax / 4,  kMax / 16};
  for (const bool filled : {false, true}) {
    SlotIndex index;
    Keys keys;
    if (filled) keys.at = {"one", "two", "three"};
    for (std::size_t i = 0; i < keys.at.size(); ++i) {
      const std::string_view key = keys.at[i];
      index.insert(key, SlotIndex::hashOf(key), static_cast<std::int32_t>(i), keys.keyAt());
    }
    const std::size_t capacity = index.capacity();
    for (const std::size_t count : counts) {
      EXPECT_THROW(index.reserve(count), std::length_error) << count << (filled ? " filled" : " empty");
      EXPECT_EQ(index.capacity(), capacity) << count;
      EXPECT_EQ(index.size(), keys.at.size()) << count;
      for (std::size_t i = 0; i < keys.at.size(); ++i)
        EXPECT_EQ(index.find(keys.at[i], keys.keyAt()), static_cast<std::int32_t>(i)) << count;
    }
  }
}

}  // namespace
}  // namespace runtime
