// The snapshot byte layout: integer and text fields, checksum, writer order, and every check
// of the reader with its message.
#include "store/snapshot_codec.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "store/tests/test_support.hpp"

namespace store {
namespace {

using runtime::Bytes;
using testing::liveEntries;

Bytes fieldOf(std::int32_t value) {
  Bytes bytes;
  writeZigzagInt32(bytes, value);
  return bytes;
}

// A file with the given header fields and body, closed by a correct checksum.
Bytes rawFile(std::int32_t version, std::int32_t sequence, std::int32_t count, const Bytes& body) {
  Bytes bytes = {'C', 'R', 'V', '1'};
  writeZigzagInt32(bytes, version);
  writeZigzagInt32(bytes, sequence);
  writeZigzagInt32(bytes, count);
  bytes.insert(bytes.end(), body.begin(), body.end());
  writeZigzagInt32(bytes, snapshotChecksum(bytes, static_cast<std::int32_t>(bytes.size())));
  return bytes;
}

Bytes entryBody(const std::string& key, const std::string& value) {
  Bytes body;
  writeLengthPrefixedText(body, key);
  writeLengthPrefixedText(body, value);
  return body;
}

void expectRefused(const Bytes& bytes, const std::string& message) {
  const StoreState state = decodeSnapshot(bytes, "dir");
  EXPECT_FALSE(state.ok) << message;
  EXPECT_EQ(state.message, message);
  EXPECT_EQ(state.directory, "dir");
  EXPECT_EQ(state.sequence, 0);
  EXPECT_TRUE(state.entries.empty());
  EXPECT_FALSE(state.dirty);
}

TEST(ZigzagField, StoresTheDocumentedBytes) {
  EXPECT_EQ(fieldOf(0), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(fieldOf(1), (Bytes{2, 0, 0, 0}));
  EXPECT_EQ(fieldOf(-1), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(fieldOf(2), (Bytes{4, 0, 0, 0}));
  EXPECT_EQ(fieldOf(-2), (Bytes{3, 0, 0, 0}));
  EXPECT_EQ(fieldOf(std::numeric_limits<std::int32_t>::max()), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(fieldOf(std::numeric_limits<std::int32_t>::min()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(ZigzagField, ReadsBackEveryValueAtAnyOffset) {
  const std::int32_t values[] = {0,
                                 1,
                                 -1,
                                 255,
                                 -256,
                                 65536,
                                 1073741824,
                                 -1073741825,
                                 std::numeric_limits<std::int32_t>::max(),
                                 std::numeric_limits<std::int32_t>::min()};
  Bytes bytes = {7};
  for (std::int32_t v : values) writeZigzagInt32(bytes, v);
  std::uint32_t offset = 1;
  for (std::int32_t v : values) {
    EXPECT_EQ(readZigzagInt32(bytes, offset), v);
    offset += 4;
  }
}

TEST(SnapshotChecksum, MatchesTheKnownValues) {
  const Bytes abc = {'a', 'b', 'c'};
  EXPECT_EQ(snapshotChecksum(abc, 3), 599262446);
  EXPECT_EQ(snapshotChecksum(abc, 0), 216613626);
  EXPECT_EQ(snapshotChecksum(abc, -5), 216613626);
  const Bytes high(1000, 0xFF);
  const std::int32_t h = snapshotChecksum(high, 1000);
  EXPECT_GE(h, 0);
  EXPECT_LE(h, 1073741823);
}

TEST(EncodeSnapshot, EmptyStateIsTwentyBytesAndDecodes) {
  const Bytes bytes = encodeSnapshot(makeStoreState("dir"));
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 16), (Bytes{'C', 'R', 'V', '1', 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(readZigzagInt32(bytes, 16), snapshotChecksum(bytes, 16));
  const StoreState state = decodeSnapshot(bytes, "elsewhere");
  EXPECT_TRUE(state.ok);
  EXPECT_EQ(state.message, "ok");
  EXPECT_EQ(state.directory, "elsewhere");
  EXPECT_TRUE(state.entries.empty());
}

TEST(EncodeSnapshot, WritesLiveEntriesInUnsignedByteOrderAndRoundTrips) {
  StoreState state = makeStoreState("dir");
  state.sequence = 41;
  ASSERT_TRUE(storePut(state, "b", "2"));
  ASSERT_TRUE(storePut(state, "\xC3\xA9t\xC3\xA9", "accent"));
  ASSERT_TRUE(storePut(state, "ab", ""));
  ASSERT_TRUE(storePut(state, "a", "1"));
  ASSERT_TRUE(storePut(state, "z~", "tilde"));
  const Bytes bytes = encodeSnapshot(state);
  Bytes expectedBody;
  for (const auto& [k, v] :
       testing::EntryList{{"a", "1"}, {"ab", ""}, {"b", "2"}, {"z~", "tilde"}, {"\xC3\xA9t\xC3\xA9", "accent"}}) {
    writeLengthPrefixedText(expectedBody, k);
    writeLengthPrefixedText(expectedBody, v);
  }
  EXPECT_EQ(bytes, rawFile(1, 41, 5, expectedBody));

  const StoreState decoded = decodeSnapshot(bytes, "dir");
  ASSERT_TRUE(decoded.ok);
  EXPECT_FALSE(decoded.dirty);
  EXPECT_EQ(decoded.sequence, 41);
  EXPECT_EQ(decoded.maxSnapshotBytes, 4194304);
  EXPECT_EQ(storeGet(decoded, "ab").found, true);
  EXPECT_EQ(storeGet(decoded, "\xC3\xA9t\xC3\xA9").value, "accent");
  EXPECT_EQ(encodeSnapshot(decoded), bytes);
  EXPECT_EQ(state.entries.front().key, "b") << "the state itself is not reordered";
}

TEST(EncodeSnapshot, OrderStaysRightAcrossCommitsThatAddKeys) {
  StoreState state = makeStoreState("dir");
  std::uint32_t seed = 7;
  auto nextKey = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return "k/" + std::to_string(seed % 100000) + (seed % 3 == 0 ? "\xC3\xA9" : "");
  };
  for (int round = 0; round < 6; ++round) {
    const int added = round % 2 == 0 ? 3 : 200;  // a few keys, then many
    for (int i = 0; i < added; ++i) ASSERT_TRUE(storePut(state, nextKey(), std::to_string(round)));
    const StoreState fresh = state;  // a copy sorts from scratch
    EXPECT_EQ(encodeSnapshot(state), encodeSnapshot(fresh)) << "round " << round;
  }
  const StoreState decoded = decodeSnapshot(encodeSnapshot(state), "dir");
  const Bytes bytes = encodeSnapshot(decoded);
  EXPECT_EQ(bytes, encodeSnapshot(state));
  std::string previous;
  std::uint32_t p = 16;
  for (std::size_t i = 0; i < decoded.entries.size(); ++i) {
    const auto k = static_cast<std::uint32_t>(readZigzagInt32(bytes, p));
    const std::string key(bytes.begin() + p + 4, bytes.begin() + p + 4 + k);
    EXPECT_LT(previous, key);  // std::string compares as unsigned bytes here
    previous = key;
    p += 4 + k;
    p += 4 + static_cast<std::uint32_t>(readZigzagInt32(bytes, p));
  }
}

TEST(EncodeSnapshot, LeavesMarkedEntriesOut) {
  StoreState state = makeStoreState("dir");
  ASSERT_TRUE(storePut(state, "keep", "kept"));
  ASSERT_TRUE(storePut(state, "gone-key", "gone-value"));
  testing::editEntries(state, [](std::vector<StoreEntry>& entries) { entries[1].deleted = true; });
  const Bytes bytes = encodeSnapshot(state);
  EXPECT_EQ(bytes, rawFile(1, 0, 1, entryBody("keep", "kept")));
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("gone"), std::string::npos);
}

TEST(EncodeSnapshot, LargeSequencesSurvive) {
  for (std::int32_t sequence : {1073741824, std::numeric_limits<std::int32_t>::max()}) {
    StoreState state = makeStoreState("dir");
    state.sequence = sequence;
    EXPECT_EQ(decodeSnapshot(encodeSnapshot(state), "dir").sequence, sequence);
  }
}

TEST(EncodeSnapshot, InvalidStateEncodesToNothing) {
  StoreState state = makeStoreState("dir");
  state.sequence = -1;
  EXPECT_TRUE(encodeSnapshot(state).empty());
  state = makeStoreState("");
  EXPECT_TRUE(encodeSnapshot(state).empty());
  state = makeStoreState("dir");
  testing::editEntries(state, [](std::vector<StoreEntry>& entries) { entries.push_back({"", "empty key"}); });
  EXPECT_TRUE(encodeSnapshot(state).empty());
}

TEST(DecodeSnapshot, RefusesABadHeaderBeforeAnythingElse) {
  expectRefused(Bytes(19, 0), "snapshot header is invalid");
  Bytes big = encodeSnapshot(makeStoreState("dir"));
  big.resize(4194305, 0);
  expectRefused(big, "snapshot header is invalid");
  Bytes wrongMagic = encodeSnapshot(makeStoreState("dir"));
  wrongMagic[0] = 'D';
  wrongMagic[19] ^= 0x40;  // checksum also wrong: the header is reported first
  expectRefused(wrongMagic, "snapshot header is invalid");
  expectRefused(Bytes(20, 0), "snapshot header is invalid");
}

TEST(DecodeSnapshot, AnySingleChangedByteAfterTheMagicBreaksTheChecksum) {
  StoreState state = makeStoreState("dir");
  state.sequence = 3;
  ASSERT_TRUE(storePut(state, "record/a/id", "a"));
  ASSERT_TRUE(storePut(state, "record/a/content", "some content"));
  const Bytes bytes = encodeSnapshot(state);
  for (std::size_t i = 4; i < bytes.size(); ++i) {
    for (std::uint8_t flip : {0x01, 0x80, 0xFF}) {
      Bytes changed = bytes;
      changed[i] ^= flip;
      const StoreState decoded = decodeSnapshot(changed, "dir");
      EXPECT_EQ(decoded.message, "snapshot checksum is invalid") << "byte " << i;
      EXPECT_FALSE(decoded.ok);
    }
  }
}

TEST(DecodeSnapshot, RefusesInvalidMetadata) {
  expectRefused(rawFile(2, 0, 0, {}), "snapshot metadata is invalid");
  expectRefused(rawFile(1, -1, 0, {}), "snapshot metadata is invalid");
  expectRefused(rawFile(1, 0, 65537, {}), "snapshot metadata is invalid");
  expectRefused(rawFile(1, 0, -1, {}), "snapshot metadata is invalid");
}

TEST(DecodeSnapshot, RefusesEntryCountsThatDoNotMatchTheEntries) {
  Bytes body = entryBody("a", "1");
  const Bytes second = entryBody("b", "2");
  body.insert(body.end(), second.begin(), second.end());
  expectRefused(rawFile(1, 5, 3, body), "snapshot entry header is truncated");
  expectRefused(rawFile(1, 5, 1, body), "snapshot has trailing bytes");
  expectRefused(rawFile(1, 5, 0, Bytes{0}), "snapshot has trailing bytes");
  // 65536 announced entries and none present: stops at the first header.
  expectRefused(rawFile(1, 5, 65536, {}), "snapshot entry header is truncated");
}

TEST(DecodeSnapshot, RefusesKeyLengthsOutOfRangeOrPastTheEnd) {
  auto withKeyLength = [](std::int32_t length, std::size_t present) {
    Bytes body = fieldOf(length);
    body.insert(body.end(), present, 'k');
    const Bytes value = fieldOf(0);
    body.insert(body.end(), value.begin(), value.end());
    return rawFile(1, 0, 1, body);
  };
  expectRefused(withKeyLength(0, 0), "snapshot key is invalid");
  expectRefused(withKeyLength(4097, 4097), "snapshot key is invalid");
  expectRefused(withKeyLength(-1, 0), "snapshot key is invalid");
  expectRefused(withKeyLength(std::numeric_limits<std::int32_t>::max(), 4), "snapshot key is invalid");
  expectRefused(withKeyLength(10, 4), "snapshot key is invalid");
  EXPECT_TRUE(decodeSnapshot(withKeyLength(4096, 4096), "dir").ok);
}

TEST(DecodeSnapshot, RefusesValueLengthsOutOfRangeOrPastTheEnd) {
  auto withValueLength = [](std::int32_t length, std::size_t present) {
    Bytes body = fieldOf(1);
    body.push_back('k');
    const Bytes field = fieldOf(length);
    body.insert(body.end(), field.begin(), field.end());
    body.insert(body.end(), present, 'v');
    return rawFile(1, 0, 1, body);
  };
  expectRefused(withValueLength(1048577, 1048577), "snapshot value is invalid");
  expectRefused(withValueLength(-1, 0), "snapshot value is invalid");
  expectRefused(withValueLength(std::numeric_limits<std::int32_t>::min(), 0), "snapshot value is invalid");
  expectRefused(withValueLength(5, 4), "snapshot value is invalid");
  const StoreState empty = decodeSnapshot(withValueLength(0, 0), "dir");
  ASSERT_TRUE(empty.ok);
  EXPECT_EQ(storeGet(empty, "k").found, true);
  EXPECT_EQ(storeGet(empty, "k").value, "");
  EXPECT_TRUE(decodeSnapshot(withValueLength(1048576, 1048576), "dir").ok);
}

TEST(DecodeSnapshot, KeepsFileOrderAndTheLaterValueOfARepeatedKey) {
  Bytes body;
  for (const auto& [k, v] : testing::EntryList{{"b", "first"}, {"a", "x"}, {"b", "second"}}) {
    const Bytes entry = entryBody(k, v);
    body.insert(body.end(), entry.begin(), entry.end());
  }
  const StoreState state = decodeSnapshot(rawFile(1, 9, 3, body), "dir");
  ASSERT_TRUE(state.ok);
  EXPECT_EQ(state.sequence, 9);
  EXPECT_EQ(liveEntries(state), (testing::EntryList{{"b", "second"}, {"a", "x"}}));
  EXPECT_FALSE(state.dirty);
  EXPECT_EQ(encodeSnapshot(state), rawFile(1, 9, 2, [] {
              Bytes sorted = entryBody("a", "x");
              const Bytes b = entryBody("b", "second");
              sorted.insert(sorted.end(), b.begin(), b.end());
              return sorted;
            }()));
}

TEST(DecodeSnapshot, ReadsAsPutsWouldWhereverTheKeysStopAscending) {
  // Keys that ascend are taken whole, the rest put one by one: the state must be the one that
  // the same puts make, in entries, lookups and key order.
  const std::vector<testing::EntryList> files = {
      {{"a", "1"}, {"b", "2"}, {"c", "3"}},
      {{"a", "1"}, {"b", "2"}, {"b", "3"}},
      {{"a", "1"}, {"b", "2"}, {"b", "3"}, {"c", "4"}},
      {{"a", "1"}, {"c", "2"}, {"b", "3"}, {"d", "4"}},
      {{"c", "1"}, {"b", "2"}, {"a", "3"}},
      {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"a", "4"}, {"ab", "5"}},
      {{"b", "1"}, {"ba", "2"}, {"a", "3"}, {"b", "4"}},
  };
  for (const testing::EntryList& file : files) {
    Bytes body;
    StoreState put = makeStoreState("dir");
    for (const auto& [k, v] : file) {
      const Bytes entry = entryBody(k, v);
      body.insert(body.end(), entry.begin(), entry.end());
      ASSERT_TRUE(storePut(put, k, v));
    }
    put.entries.settleKeyOrder();
    const StoreState read = decodeSnapshot(rawFile(1, 1, static_cast<std::int32_t>(file.size()), body), "dir");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(liveEntries(read), liveEntries(put));
    for (const auto& entry : file) EXPECT_EQ(findEntryIndex(read, entry.first), findEntryIndex(put, entry.first));
    ASSERT_TRUE(read.entries.orderedKeys().has_value());
    std::vector<std::int32_t> unusedRead;
    std::vector<std::int32_t> unusedPut;
    EXPECT_EQ(read.entries.keyOrder(unusedRead), put.entries.keyOrder(unusedPut));
  }
}

TEST(DecodeSnapshot, AWrongChecksumIsReportedWhateverElseIsWrong) {
  // The entries are read while the checksum is computed; its verdict still comes first, for a
  // small and for a large file.
  for (const std::size_t valueBytes : {std::size_t{1}, std::size_t{300000}}) {
    SCOPED_TRACE(valueBytes);
    const std::string value(valueBytes, 'v');
    Bytes body = entryBody("a", value);
    const Bytes zero = entryBody(std::string("z\0", 2), "v");
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"zero byte", rawFile(1, 0, 2,
                              [&] {
                                Bytes b = body;
                                b.insert(b.end(), zero.begin(), zero.end());
                                return b;
                              }())},
        {"truncated", rawFile(1, 0, 3, body)},
        {"trailing", rawFile(1, 0, 0, body)},
        {"metadata", rawFile(2, 0, 1, body)},
        {"key length", rawFile(1, 0, 1, fieldOf(0))},
    };
    for (const auto& [name, file] : files) {
      Bytes broken = file;
      broken[broken.size() - 1] ^= 0x01;
      const StoreState state = decodeSnapshot(broken, "dir");
      EXPECT_EQ(state.message, "snapshot checksum is invalid") << name;
      EXPECT_TRUE(state.entries.empty()) << name;
    }
    Bytes early = rawFile(1, 0, 1, body);
    early[20] ^= 0x01;  // a byte of the key, near the start of the chain
    EXPECT_EQ(decodeSnapshot(early, "dir").message, "snapshot checksum is invalid");
    const StoreState whole = decodeSnapshot(rawFile(1, 4, 1, body), "dir");
    ASSERT_TRUE(whole.ok) << whole.message;
    EXPECT_EQ(storeGet(whole, "a").value, value);
  }
}

TEST(DecodeSnapshot, ZeroByteInAKeyOrValueThrows) {
  for (const auto& [k, v] : testing::EntryList{{std::string("a\0b", 3), "v"}, {"k", std::string("x\0", 2)}}) {
    // After a valid entry, and followed by an entry that is cut short: the zero byte comes first.
    Bytes body = entryBody("a", "1");
    const Bytes zero = entryBody(k, v);
    body.insert(body.end(), zero.begin(), zero.end());
    const Bytes bytes = rawFile(1, 0, 3, body);
    try {
      decodeSnapshot(bytes, "dir");
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "Text.FromUtf8 does not accept an embedded zero byte");
    }
  }
}

}  // namespace
}  // namespace store
