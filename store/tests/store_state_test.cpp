// Entry operations, validation, file names and the commit of the key/value map.
#include "store/store_state.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "store/snapshot_codec.hpp"
#include "store/tests/test_support.hpp"

namespace store {
namespace {

using testing::exists;
using testing::liveEntries;
using testing::readAll;
using testing::TempDir;

TEST(StoreState, FreshAndFailedStates) {
  const StoreState fresh = makeStoreState("data/x/");
  EXPECT_EQ(fresh.schema, "corvane.store.v1");
  EXPECT_EQ(fresh.formatVersion, 1);
  EXPECT_EQ(fresh.directory, "data/x/");
  EXPECT_EQ(fresh.sequence, 0);
  EXPECT_EQ(fresh.maxSnapshotBytes, 4194304);
  EXPECT_TRUE(fresh.entries.empty());
  EXPECT_FALSE(fresh.dirty);
  EXPECT_TRUE(fresh.ok);
  EXPECT_EQ(fresh.message, "ok");
  const StoreState failed = makeFailedStoreState("d", "went wrong");
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.message, "went wrong");
  EXPECT_EQ(failed.directory, "d");
}

TEST(StoreState, FileNamesUseTheDirectoryAsGiven) {
  EXPECT_EQ(snapshotPath("data/oreb-vet"), "data/oreb-vet/store.corvane");
  EXPECT_EQ(walPath("data/oreb-vet"), "data/oreb-vet/store.wal.corvane");
  EXPECT_EQ(nextPath("data/oreb-vet"), "data/oreb-vet/store.next.corvane");
  EXPECT_EQ(snapshotPath("d/"), "d//store.corvane");
}

TEST(StoreState, TextWithinBytesCountsBytes) {
  EXPECT_FALSE(textWithinBytes("", 5));
  EXPECT_TRUE(textWithinBytes("a", 1));
  EXPECT_FALSE(textWithinBytes("\xC3\xA9", 1));
  EXPECT_TRUE(textWithinBytes("\xC3\xA9", 2));
}

TEST(StorePut, RefusesInvalidEntriesAndLeavesTheStateClean) {
  StoreState state = makeStoreState("d");
  EXPECT_FALSE(storePut(state, "", "v"));
  EXPECT_FALSE(storePut(state, std::string(4097, 'k'), "v"));
  EXPECT_FALSE(storePut(state, "k", std::string(1048577, 'v')));
  EXPECT_FALSE(storePut(state, std::string("a\0b", 3), "v"));
  EXPECT_FALSE(storePut(state, "k", std::string("v\0", 2)));
  EXPECT_FALSE(state.dirty);
  EXPECT_TRUE(state.entries.empty());
  EXPECT_TRUE(storePut(state, std::string(4096, 'k'), std::string(1048576, 'v')));
  EXPECT_TRUE(storePut(state, std::string(4095, 'k'), ""));
  EXPECT_TRUE(state.dirty);
}

TEST(StorePut, OverwritesInPlaceAndAlwaysMarksDirty) {
  StoreState state = makeStoreState("d");
  ASSERT_TRUE(storePut(state, "a", "1"));
  ASSERT_TRUE(storePut(state, "b", "2"));
  state.dirty = false;
  ASSERT_TRUE(storePut(state, "a", "1"));
  EXPECT_TRUE(state.dirty);
  ASSERT_TRUE(storePut(state, "a", "3"));
  EXPECT_EQ(liveEntries(state), (testing::EntryList{{"a", "3"}, {"b", "2"}}));
}

TEST(StorePut, WorksOnAFailedState) {
  StoreState failed = makeFailedStoreState("d", "bad");
  EXPECT_TRUE(storePut(failed, "k", "v"));
  EXPECT_TRUE(failed.dirty);
}

TEST(StoreGet, MissingAndMarkedEntriesAreNotFound) {
  StoreState state = makeStoreState("d");
  ASSERT_TRUE(storePut(state, "a", "1"));
  ASSERT_TRUE(storePut(state, "b", "2"));
  EXPECT_FALSE(storeGet(state, "c").found);
  EXPECT_EQ(storeGet(state, "c").value, "");
  testing::editEntries(state, [](std::vector<StoreEntry>& entries) { entries[1].deleted = true; });
  EXPECT_FALSE(storeGet(state, "b").found);
  EXPECT_EQ(storeGet(state, "b").value, "");
  EXPECT_EQ(findEntryIndex(state, "b"), 1);
  ASSERT_TRUE(storePut(state, "b", "again"));
  EXPECT_EQ(storeGet(state, "b").value, "again");
  EXPECT_EQ(findEntryIndex(state, "b"), 1);
}

TEST(FindEntryIndex, FollowsEveryChangeOfTheList) {
  StoreState state = makeStoreState("d");
  ASSERT_TRUE(storePut(state, "a", "1"));
  ASSERT_TRUE(storePut(state, "b", "2"));
  EXPECT_EQ(findEntryIndex(state, "a"), 0);
  // Replaced by a list of the same size: the keys of the new list are found, and a put on one
  // of them overwrites it instead of adding the key a second time.
  testing::editEntries(state, [](std::vector<StoreEntry>& entries) {
    entries = {{"y", "1", false}, {"x", "2", false}};
  });
  EXPECT_EQ(findEntryIndex(state, "a"), -1);
  EXPECT_EQ(findEntryIndex(state, "y"), 0);
  EXPECT_EQ(findEntryIndex(state, "x"), 1);
  ASSERT_TRUE(storePut(state, "x", "3"));
  EXPECT_EQ(liveEntries(state), (testing::EntryList{{"y", "1"}, {"x", "3"}}));
  EXPECT_EQ(liveEntries(decodeSnapshot(encodeSnapshot(state), "d")), (testing::EntryList{{"x", "3"}, {"y", "1"}}));
  // A repeated key: the first match wins, for lookups and puts alike.
  testing::editEntries(state, [](std::vector<StoreEntry>& entries) { entries.push_back({"x", "second", false}); });
  EXPECT_EQ(findEntryIndex(state, "x"), 1);
  ASSERT_TRUE(storePut(state, "x", "4"));
  EXPECT_EQ(liveEntries(state), (testing::EntryList{{"y", "1"}, {"x", "4"}, {"x", "second"}}));
  // Shrunk to one entry.
  testing::editEntries(state, [](std::vector<StoreEntry>& entries) { entries = {{"x", "only", false}}; });
  EXPECT_EQ(findEntryIndex(state, "y"), -1);
  EXPECT_EQ(findEntryIndex(state, "x"), 0);
  // Many appends, with the list and its index moving to larger storage on the way.
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(storePut(state, "k" + std::to_string(i), "v"));
  for (int i = 0; i < 5000; i += 499) EXPECT_EQ(findEntryIndex(state, "k" + std::to_string(i)), i + 1);
  // A copy answers on its own.
  StoreState copy = state;
  ASSERT_TRUE(storePut(copy, "z", "3"));
  EXPECT_EQ(findEntryIndex(copy, "z"), 5001);
  EXPECT_EQ(findEntryIndex(state, "z"), -1);
}

TEST(StoreGet, TwoThreadsLookUpKeysInOneStateAtOnce) {
  StoreState built = makeStoreState("d");
  for (int i = 0; i < 20000; ++i) ASSERT_TRUE(storePut(built, "k" + std::to_string(i), std::to_string(i * 7)));
  // A copy and a list assigned whole are looked up before anything else touched them.
  for (const bool assigned : {false, true}) {
    StoreState copy = built;
    if (assigned) testing::editEntries(copy, [](std::vector<StoreEntry>&) {});
    const StoreState& state = copy;
    std::atomic<int> wrong{0};
    auto lookUp = [&state, &wrong](int first) {
      for (int n = 0; n < 20000; ++n) {
        const int i = (first + n) % 20000;
        const StoreLookup found = storeGet(state, "k" + std::to_string(i));
        if (!found.found || found.value != std::to_string(i * 7) ||
            findEntryIndex(state, "k" + std::to_string(i)) != i ||
            storeGet(state, "missing" + std::to_string(i)).found) {
          ++wrong;
        }
      }
    };
    std::thread other(lookUp, 10000);
    lookUp(0);
    other.join();
    EXPECT_EQ(wrong.load(), 0) << (assigned ? "assigned list" : "copied state");
  }
}

TEST(ValidateStoreState, ChecksEveryField) {
  EXPECT_TRUE(validateStoreState(makeStoreState("d")));
  StoreState s = makeStoreState("d");
  s.schema = "corvane.store.v2";
  EXPECT_FALSE(validateStoreState(s));
  s = makeStoreState("d");
  s.formatVersion = 2;
  EXPECT_FALSE(validateStoreState(s));
  EXPECT_FALSE(validateStoreState(makeStoreState("")));
  EXPECT_FALSE(validateStoreState(makeStoreState(std::string(4097, 'd'))));
  EXPECT_TRUE(validateStoreState(makeStoreState(std::string(4096, 'd'))));
  s = makeStoreState("d");
  s.sequence = -1;
  EXPECT_FALSE(validateStoreState(s));
  s = makeStoreState("d");
  s.maxSnapshotBytes = 1023;
  EXPECT_FALSE(validateStoreState(s));
  s.maxSnapshotBytes = 268435457;
  EXPECT_FALSE(validateStoreState(s));
  s.maxSnapshotBytes = 268435456;
  EXPECT_TRUE(validateStoreState(s));
  testing::editEntries(s, [](std::vector<StoreEntry>& entries) { entries.push_back({"k", std::string("a\0", 2)}); });
  EXPECT_FALSE(validateStoreState(s));
}

TEST(CommitStore, CleanFailedAndInvalidStatesWriteNothing) {
  TempDir dir;
  StoreState clean = makeStoreState(dir.text());
  EXPECT_TRUE(commitStore(clean));
  EXPECT_EQ(clean.sequence, 0);
  StoreState failed = makeFailedStoreState(dir.text(), "bad");
  ASSERT_TRUE(storePut(failed, "k", "v"));
  EXPECT_FALSE(commitStore(failed));
  EXPECT_EQ(failed.sequence, 0);
  EXPECT_TRUE(failed.dirty);
  for (const std::string& directory : {std::string(), std::string(4097, 'd')}) {
    StoreState state = makeStoreState(directory);
    ASSERT_TRUE(storePut(state, "k", "v"));
    EXPECT_FALSE(commitStore(state));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(CommitStore, WritesTheSnapshotAndLeavesNoOtherFile) {
  TempDir dir;
  StoreState state = makeStoreState(dir.text());
  ASSERT_TRUE(storePut(state, "b", "2"));
  ASSERT_TRUE(storePut(state, "a", "1"));
  state.message = "stale";
  ASSERT_TRUE(commitStore(state));
  EXPECT_EQ(state.sequence, 1);
  EXPECT_FALSE(state.dirty);
  EXPECT_EQ(state.message, "ok");
  EXPECT_FALSE(exists(walPath(dir.text())));
  EXPECT_FALSE(exists(nextPath(dir.text())));
  const StoreState onDisk = decodeSnapshot(readAll(snapshotPath(dir.text())), dir.text());
  EXPECT_EQ(onDisk.sequence, 1);
  EXPECT_EQ(liveEntries(onDisk), (testing::EntryList{{"a", "1"}, {"b", "2"}}));
  ASSERT_TRUE(storePut(state, "a", "3"));
  ASSERT_TRUE(commitStore(state));
  EXPECT_EQ(decodeSnapshot(readAll(snapshotPath(dir.text())), dir.text()).sequence, 2);
}

// A commit checks again only what was written since the last check: an invalid entry written
// past storePut after a commit, or after an open, is still refused and nothing is written.
TEST(CommitStore, RefusesAnInvalidEntryWrittenAfterTheLastCheck) {
  const std::string zero("a\0", 2);
  const std::vector<std::pair<const char*, std::function<void(StoreState&)>>> writes = {
      {"new key", [&](StoreState& s) { s.entries.put(Text(zero), "v"); }},
      {"overwritten value", [&](StoreState& s) { s.entries.put("a", Text(zero)); }},
      {"key too long", [](StoreState& s) { s.entries.put(std::string(4097, 'k'), "v"); }},
      {"value too long", [](StoreState& s) { s.entries.put("b", std::string(1048577, 'v')); }},
      {"list assigned whole",
       [&](StoreState& s) { testing::editEntries(s, [&](std::vector<StoreEntry>& e) { e[0].value = zero; }); }},
  };
  for (const bool reopened : {false, true}) {
    for (const auto& [name, write] : writes) {
      SCOPED_TRACE(std::string(name) + (reopened ? " after an open" : " after a commit"));
      TempDir dir;
      StoreState state = makeStoreState(dir.text());
      ASSERT_TRUE(storePut(state, "a", "1"));
      ASSERT_TRUE(commitStore(state));
      const runtime::Bytes committed = readAll(snapshotPath(dir.text()));
      if (reopened) state = decodeSnapshot(committed, dir.text());
      write(state);
      state.dirty = true;
      EXPECT_FALSE(commitStore(state));
      EXPECT_EQ(state.sequence, 1);
      EXPECT_EQ(readAll(snapshotPath(dir.text())), committed);
      EXPECT_FALSE(exists(walPath(dir.text())));
    }
  }
}

TEST(CommitStore, RefusesTheEntryAfterTheLimitAndKeepsTheSequence) {
  TempDir dir;
  StoreState state = makeStoreState(dir.text());
  for (int i = 0; i < 65536; ++i) ASSERT_TRUE(storePut(state, "k" + std::to_string(i), ""));
  ASSERT_TRUE(commitStore(state));
  EXPECT_EQ(state.sequence, 1);
  ASSERT_TRUE(storePut(state, "one-more", ""));
  EXPECT_FALSE(commitStore(state));
  EXPECT_EQ(state.sequence, 1);
  EXPECT_TRUE(state.dirty);
}

TEST(CommitStore, AcceptsAnEncodingOfExactlyTheLimitAndNotOneByteMore) {
  TempDir dir;
  StoreState state = makeStoreState(dir.text());
  // 20 + 4 * (8 + 2) + values = 4194304
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(storePut(state, "k" + std::to_string(i), std::string(1048576, 'v')));
  ASSERT_TRUE(storePut(state, "k3", std::string(1048516 + 1, 'v')));
  EXPECT_FALSE(commitStore(state));
  EXPECT_EQ(state.sequence, 0);
  EXPECT_TRUE(state.dirty);
  EXPECT_FALSE(exists(snapshotPath(dir.text())));
  ASSERT_TRUE(storePut(state, "k3", std::string(1048516, 'v')));
  ASSERT_EQ(encodeSnapshot(state).size(), 4194304u);
  EXPECT_TRUE(commitStore(state));
  EXPECT_EQ(state.sequence, 1);
}

TEST(CommitStore, NeverWritesAFileLargerThanOpenReads) {
  // A larger limit than the default is valid in a state, but open reads at most 4194304 bytes:
  // a bigger snapshot would make every later open fail.
  TempDir dir;
  StoreState state = makeStoreState(dir.text());
  state.maxSnapshotBytes = 8388608;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(storePut(state, "k" + std::to_string(i), std::string(1048576, 'v')));
  ASSERT_EQ(encodeSnapshot(state).size(), 4194364u);
  EXPECT_FALSE(commitStore(state));
  EXPECT_EQ(state.sequence, 0);
  EXPECT_TRUE(state.dirty);
  EXPECT_FALSE(exists(snapshotPath(dir.text())));
  EXPECT_FALSE(exists(walPath(dir.text())));
  ASSERT_TRUE(storePut(state, "k3", std::string(1048516, 'v')));
  ASSERT_EQ(encodeSnapshot(state).size(), 4194304u);
  EXPECT_TRUE(commitStore(state));
  const StoreState onDisk = decodeSnapshot(runtime::readFileBytes(snapshotPath(dir.text()), 4194304), dir.text());
  EXPECT_TRUE(onDisk.ok);
  EXPECT_EQ(onDisk.sequence, 1);
}

TEST(CommitStore, RefusesToPassTheLargestSequence) {
  TempDir dir;
  StoreState state = makeStoreState(dir.text());
  state.sequence = std::numeric_limits<std::int32_t>::max() - 1;
  ASSERT_TRUE(storePut(state, "k", "v"));
  ASSERT_TRUE(commitStore(state));
  EXPECT_EQ(state.sequence, std::numeric_limits<std::int32_t>::max());
  ASSERT_TRUE(storePut(state, "k", "w"));
  EXPECT_FALSE(commitStore(state));
  EXPECT_EQ(state.sequence, std::numeric_limits<std::int32_t>::max());
  EXPECT_TRUE(state.dirty);
  EXPECT_EQ(storeGet(decodeSnapshot(readAll(snapshotPath(dir.text())), dir.text()), "k").value, "v");
}

TEST(PromoteSnapshot, RefusesEmptyBytesAndKeepsTheSnapshot) {
  TempDir dir;
  StoreState state = makeStoreState(dir.text());
  ASSERT_TRUE(storePut(state, "k", "v"));
  ASSERT_TRUE(commitStore(state));
  const runtime::Bytes before = readAll(snapshotPath(dir.text()));
  EXPECT_FALSE(promoteSnapshot(dir.text(), {}));
  EXPECT_EQ(readAll(snapshotPath(dir.text())), before);
  EXPECT_FALSE(exists(nextPath(dir.text())));
  EXPECT_TRUE(promoteSnapshot(dir.text(), {1, 2, 3}));
  EXPECT_EQ(readAll(snapshotPath(dir.text())), (runtime::Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace store
