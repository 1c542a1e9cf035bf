// Every put of the store that runs out of memory part way leaves the map (and the database's
// records and edges) exactly as they were: the entries, the key index, the key order, the
// entries a commit must check and the dirty flag; a commit and a reopen then give the content
// from before. Allocations fail on demand through the replaceable global operator new of this
// test executable: each put is run with its n-th allocation failing, for n = 0, 1, 2, ... until
// it goes through.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "runtime/files.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/store_state.hpp"
#include "store/tests/test_support.hpp"

namespace {

// Allocations left before the next one fails; negative: never fail.
std::int64_t allocationsBeforeFailure = -1;

void* allocate(std::size_t size) {
  if (allocationsBeforeFailure == 0) throw std::bad_alloc();
  if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

// The forms that answer null instead of throwing (a merge asks for its buffer so) fail alike.
void* allocateOrNull(std::size_t size) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace store {
namespace {

using testing::sampleEdge;
using testing::sampleRecord;
using testing::TempDir;

namespace fs = std::filesystem;

// Everything of an entry list that a put may change, as its readers see it.
struct ListView {
  std::vector<std::tuple<std::string, std::string, bool>> entries;
  std::vector<std::int32_t> found;  // find for every key of the list and every key put
  std::optional<std::vector<std::int32_t>> changed;
  bool orderWhole = false;
  std::vector<std::int32_t> order;
  bool operator==(const ListView&) const = default;
};

void PrintTo(const ListView& view, std::ostream* out) {
  for (const auto& [key, value, deleted] : view.entries)
    *out << key << "=" << value << (deleted ? " (marked)" : "") << "; ";
  *out << "found:";
  for (const std::int32_t i : view.found) *out << " " << i;
  *out << "; changed:";
  if (view.changed.has_value()) {
    for (const std::int32_t i : *view.changed) *out << " " << i;
  } else {
    *out << " all";
  }
  *out << "; order" << (view.orderWhole ? " (kept):" : ":");
  for (const std::int32_t i : view.order) *out << " " << i;
}

ListView viewOf(const StoreEntryList& list, const std::vector<std::string>& keysPut) {
  ListView view;
  for (const StoreEntry& entry : list) {
    view.entries.emplace_back(entry.key, entry.value, entry.deleted);
    view.found.push_back(list.find(entry.key));
  }
  for (const std::string& key : keysPut) view.found.push_back(list.find(key));
  if (const std::vector<std::int32_t>* changed = list.changedSinceChecked(); changed != nullptr) {
    view.changed = *changed;
  }
  view.orderWhole = list.orderedKeys().has_value();
  std::vector<std::int32_t> scratch;
  view.order = list.keyOrder(scratch);
  return view;
}

// Every field of a record or an edge, in one text.
std::string describe(const Record& r) {
  std::string text = r.id + "|" + r.tenant + "|" + r.space + "|" + r.container + "|" + r.kind + "|" + r.content + "|" +
                     std::to_string(r.created) + "|" + std::to_string(r.updated) + "|" + std::to_string(r.expires) +
                     "|" + r.classification + "|" + r.lifecycle + "|" + r.purpose;
  for (const auto* list : {&r.permissions, &r.compartments, &r.provenance, &r.contentRefs}) {
    for (const std::string& item : *list) text += "|" + item;
    text += ";";
  }
  for (const Property& p : r.properties) text += "|" + p.key + "=" + p.value;
  for (const float v : r.vector) text += "|" + std::to_string(v);
  return text;
}

std::string describe(const Edge& e) {
  std::string text = e.id + "|" + e.tenant + "|" + e.from + "|" + e.to + "|" + e.kind + "|" + std::to_string(e.created);
  for (const Property& p : e.properties) text += "|" + p.key + "=" + p.value;
  return text;
}

// Everything of a database that a put may change.
struct DatabaseView {
  ListView entries;
  bool dirty = false;
  std::int32_t sequence = 0;
  bool ok = true;
  std::string message;
  SnapshotIdentity onDisk;
  std::vector<std::string> records;
  std::vector<std::string> edges;
  bool operator==(const DatabaseView&) const = default;
};

void PrintTo(const DatabaseView& view, std::ostream* out) {
  *out << "\n  entries: ";
  PrintTo(view.entries, out);
  *out << "\n  dirty " << view.dirty << ", sequence " << view.sequence << ", ok " << view.ok << " (" << view.message
       << "), snapshot file of " << view.onDisk.size << " bytes";
  for (const std::string& record : view.records) *out << "\n  record " << record;
  for (const std::string& edge : view.edges) *out << "\n  edge " << edge;
}

DatabaseView viewOf(const Database& database, const std::vector<std::string>& keysPut) {
  DatabaseView view{viewOf(database.store.entries, keysPut),
                    database.store.dirty,
                    database.store.sequence,
                    database.store.ok,
                    database.store.message,
                    database.store.snapshotOnDisk,
                    {},
                    {}};
  for (const Record& record : database.records) view.records.push_back(describe(record));
  for (const Edge& edge : database.edges) view.edges.push_back(describe(edge));
  return view;
}

// Runs `put` with its n-th allocation failing, for n = 0, 1, 2, ... until it goes through (it
// answers whether it did; one that throws did not), and checks each subject a put that threw
// left; returns the number of allocations the put made when it went through. `setup` makes the
// subject afresh each time.
template <typename Subject, typename Setup, typename Put, typename Check>
std::int64_t failEachAllocationInTurn(Setup setup, Put put, Check checkThrown) {
  for (std::int64_t n = 0;; ++n) {
    SCOPED_TRACE(::testing::Message() << "allocation " << n << " fails");
    Subject subject = setup();
    bool done = false;
    bool thrown = false;
    allocationsBeforeFailure = n;
    try {
      done = put(subject);
    } catch (const std::bad_alloc&) {
      thrown = true;
    }
    allocationsBeforeFailure = -1;
    if (done) return n;
    if (thrown) checkThrown(subject);
    if (::testing::Test::HasFatalFailure() || n > 100000) return n;
  }
}

// The directory of a store with `keys` keys ("key/00" ...), committed and then a pending key put
// when `pending`, or the five sample records and their edge.
class StoreFixture {
 public:
  void seedKeys(int keys) {
    StoreState state = makeStoreState(seeded_.text());
    for (int i = 0; i < keys; ++i) ASSERT_TRUE(storePut(state, keyNumber(i), "value of " + keyNumber(i)));
    ASSERT_TRUE(commitStore(state));
  }
  void seedRecords() { testing::seedFiveRecords(seeded_.text()); }

  static std::string keyNumber(int i) { return "key/" + std::string(i < 10 ? "0" : "") + std::to_string(i); }

  // A copy of the seeded directory, opened.
  Database open(const TempDir& dir) const {
    for (const auto& file : fs::directory_iterator(seeded_.path())) {
      fs::copy_file(file.path(), dir.path() / file.path().filename());
    }
    return openDatabase(dir.text());
  }

 private:
  TempDir seeded_;
};

// The sweep over a put on a database in its own directory: after each put that threw, the
// database is exactly as before, a commit goes through and the reopened store holds the
// entries from before.
template <typename Prepare, typename Put>
std::int64_t sweepDatabasePut(const StoreFixture& fixture, const std::vector<std::string>& keysPut, Prepare prepare,
                              Put put) {
  struct Subject {
    std::unique_ptr<TempDir> dir;
    Database database;
    DatabaseView before;
  };
  auto setup = [&fixture, &keysPut, &prepare] {
    Subject subject{std::make_unique<TempDir>(), {}, {}};
    subject.database = fixture.open(*subject.dir);
    EXPECT_TRUE(subject.database.store.ok) << subject.database.store.message;
    prepare(subject.database);
    subject.before = viewOf(subject.database, keysPut);
    return subject;
  };
  auto check = [&keysPut](Subject& subject) {
    ASSERT_EQ(viewOf(subject.database, keysPut), subject.before) << "a put that threw changed the database";
    const std::map<std::string, std::string> entries = testing::liveEntryMap(subject.database.store);
    ASSERT_TRUE(commitStore(subject.database.store));
    const Database reopened = openDatabase(subject.dir->text());
    ASSERT_TRUE(reopened.store.ok) << reopened.store.message;
    EXPECT_EQ(testing::liveEntryMap(reopened.store), entries);
    EXPECT_EQ(reopened.records.size(), subject.database.records.size());
    EXPECT_EQ(reopened.edges.size(), subject.database.edges.size());
  };
  return failEachAllocationInTurn<Subject>(
      setup, [&put](Subject& s) { return put(s.database); }, check);
}

TEST(AllocationFailure, StorePutLeavesTheStateAsItWas) {
  StoreFixture eightKeys;
  eightKeys.seedKeys(8);
  const std::string longValue(40, 'v');  // past the short-text buffer: the value allocates
  auto nothing = [](Database&) {};
  auto pending = [&longValue](Database& d) { ASSERT_TRUE(storePut(d.store, "key/pending", longValue)); };
  struct Case {
    const char* name;
    std::function<void(Database&)> prepare;
    std::string key;
  };
  // Eight keys fill the smallest index; a ninth grows it, the list and its changed entries.
  const std::vector<Case> cases = {
      {"ninth key, after the others in key order", nothing, "key/99"},
      {"ninth key, before the others in key order", nothing, "a/first"},
      {"a key after a pending one", pending, "key/99/after/the/pending/one"},
      {"overwrite of a stored key", nothing, StoreFixture::keyNumber(3)},
      {"overwrite of a pending key", pending, "key/pending"},
      {"overwrite after a pending key", pending, StoreFixture::keyNumber(5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::int64_t allocations = sweepDatabasePut(
        eightKeys, {c.key}, c.prepare, [&](Database& d) { return storePut(d.store, c.key, longValue + "/new"); });
    EXPECT_GT(allocations, 0);
  }
  // An empty map, read from no file.
  StoreFixture none;
  const std::int64_t allocations = sweepDatabasePut(none, {"first/key/of/a/new/map"}, nothing, [&](Database& d) {
    return storePut(d.store, "first/key/of/a/new/map", longValue);
  });
  EXPECT_GT(allocations, 2);
}

TEST(AllocationFailure, PutRecordLeavesTheDatabaseAsItWas) {
  StoreFixture five;
  five.seedRecords();
  Record changed = sampleRecord("c2");
  changed.content = "Changed name, long enough to be allocated";
  changed.permissions = {"read", "write", "audit"};
  changed.properties.push_back({"phone", "555-0199"});
  changed.vector.push_back(3.5f);
  auto nothing = [](Database&) {};
  auto pendingRecord = [](Database& d) { ASSERT_TRUE(putRecord(d, sampleRecord("pending", "animal"))); };
  // A marked entry among the record's keys, as a list assigned whole may hold: the put clears
  // the mark, and the rollback must set it again.
  auto marked = [](Database& d) {
    testing::editEntries(d.store, [](std::vector<StoreEntry>& entries) {
      for (StoreEntry& entry : entries) entry.deleted = entry.deleted || entry.key == "record/c2/purpose";
    });
    ASSERT_TRUE(storePut(d.store, "key/touched", "so that the commit writes the file without the marked entry"));
    ASSERT_TRUE(commitStore(d.store));
  };
  struct Case {
    const char* name;
    std::function<void(Database&)> prepare;
    Record record;
  };
  const std::vector<Case> cases = {
      {"a new record", nothing, sampleRecord("a4", "animal")},
      {"a changed record with longer lists", nothing, changed},
      {"a changed record after a pending one", pendingRecord, changed},
      {"a changed record over a marked entry", marked, changed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> keys = {"record/" + c.record.id + "/content", "record/" + c.record.id + "/purpose",
                                           "record/" + c.record.id + "/permissions/2", "catalog/records/5"};
    const std::int64_t allocations =
        sweepDatabasePut(five, keys, c.prepare, [&](Database& d) { return putRecord(d, c.record); });
    EXPECT_GT(allocations, 20);
  }
}

TEST(AllocationFailure, PutBatchLeavesTheDatabaseAsItWasOrFailsItsCommit) {
  StoreFixture five;
  five.seedRecords();
  RecordBatch batch;
  Record changed = sampleRecord("c2");
  changed.content = "Changed name, long enough to be allocated";
  batch.records = {changed, sampleRecord("a4", "animal")};
  batch.edges = {sampleEdge("e2", "a4", "c2"), sampleEdge("e1", "a1", "c2")};
  const std::vector<std::string> keys = {"record/a4/id", "edge/e2/id", "edge/e1/to", "catalog/edges/1"};
  // The puts throw and change nothing; the commit after them fails instead, as any commit may
  // (the caller then reopens): the reopened store is the old one or the batch's, and a commit
  // made again writes the batch.
  std::int64_t commitFailures = 0;
  std::optional<std::map<std::string, std::string>> batchEntries;
  const std::int64_t allocations = sweepDatabasePut(
      five, keys, [](Database&) {},
      [&](Database& d) {
        const std::map<std::string, std::string> old = testing::liveEntryMap(d.store);
        const std::int32_t sequence = d.store.sequence;
        const bool committed = putBatch(d, batch);
        allocationsBeforeFailure = -1;
        if (committed) {
          batchEntries = testing::liveEntryMap(d.store);
          return true;
        }
        ++commitFailures;
        EXPECT_TRUE(d.store.dirty);
        EXPECT_TRUE(d.store.sequence == sequence || d.store.sequence == sequence + 1);
        const std::map<std::string, std::string> attempted = testing::liveEntryMap(d.store);
        Database reopened = openDatabase(d.store.directory);
        EXPECT_TRUE(reopened.store.ok) << reopened.store.message;
        const std::map<std::string, std::string> found = testing::liveEntryMap(reopened.store);
        EXPECT_TRUE(found == old || found == attempted);
        EXPECT_TRUE(putBatch(reopened, batch));
        EXPECT_EQ(testing::liveEntryMap(openDatabase(d.store.directory).store), attempted);
        return false;
      });
  EXPECT_GT(commitFailures, 10);
  EXPECT_GT(allocations, commitFailures);
  ASSERT_TRUE(batchEntries.has_value());
  EXPECT_EQ(batchEntries->count("record/a4/id"), 1u);
}

TEST(AllocationFailure, CommitNeverThrowsAndFailsWithTheStateAsItWasOrFollowingItsMove) {
  StoreFixture five;
  five.seedRecords();
  // What a failed commit may leave: the state as it was, or, once its move was made but not
  // flushed, the state following the file it moved into place.
  struct Subject {
    std::unique_ptr<TempDir> dir;
    Database database;
    std::map<std::string, std::string> entries;
    std::int32_t sequence = 0;
    runtime::Bytes snapshot;
  };
  for (const bool identityAsked : {true, false}) {
    SCOPED_TRACE(identityAsked ? "with the write-ahead identity" : "without it");
    auto setup = [&five] {
      Subject s{std::make_unique<TempDir>()};
      s.database = five.open(*s.dir);
      EXPECT_TRUE(putRecord(s.database, sampleRecord("a4", "animal")));
      s.entries = testing::liveEntryMap(s.database.store);
      s.sequence = s.database.store.sequence;
      s.snapshot = testing::readAll(snapshotPath(s.dir->text()));
      return s;
    };
    std::int64_t failures = 0;
    auto commit = [&](Subject& s) {
      SnapshotIdentity wal;
      const bool committed = commitStore(s.database.store, identityAsked ? &wal : nullptr);
      allocationsBeforeFailure = -1;
      if (committed) return true;
      ++failures;
      const StoreState& state = s.database.store;
      const std::string directory = s.dir->text();
      EXPECT_TRUE(state.dirty);
      EXPECT_EQ(testing::liveEntryMap(state), s.entries);
      const runtime::Bytes snapshot = testing::readAll(snapshotPath(directory));
      const bool moved = snapshot != s.snapshot;
      EXPECT_EQ(state.sequence, s.sequence + (moved ? 1 : 0));
      EXPECT_EQ(state.snapshotOnDisk, snapshotIdentityOf(snapshot));
      if (identityAsked) {
        // Every write-ahead file left is reported, and only one that is on disk whole.
        EXPECT_EQ(wal.present, testing::exists(walPath(directory)));
        EXPECT_TRUE(!wal.present || writeAheadFileIs(directory, wal));
        EXPECT_TRUE(!moved || wal == state.snapshotOnDisk);
      }
      EXPECT_TRUE(commitStore(s.database.store));
      EXPECT_EQ(testing::liveEntryMap(openDatabase(directory).store), s.entries);
      return false;
    };
    failEachAllocationInTurn<Subject>(setup, commit, [](Subject&) { ADD_FAILURE() << "the commit threw"; });
    EXPECT_GT(failures, 20);
  }
}

}  // namespace
}  // namespace store
