// Fuzzes opening a data directory that holds arbitrary snapshot and write-ahead files.
// Input: one byte of flags (bit 0: a snapshot file, bit 1: a write-ahead file), a 4-byte
// little-endian length of the snapshot file's contents, then the snapshot's bytes and the
// write-ahead file's bytes; most mutated inputs get both files' checksums repaired
// (fuzz/checksum_repair.hpp). Besides crashes and sanitizer reports it checks that open settles
// the files (a second open sees the same keys and values and changes nothing), and that a batch
// put that answers true is found by the next open.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "fuzz/checksum_repair.hpp"
#include "fuzz/memory_file_system.hpp"
#include "runtime/runtime_error.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/record_keys.hpp"
#include "store/testing/live_entries.hpp"
#include "store/testing/record_builders.hpp"

namespace {

// The data directory's name; every file lives in memory.
const std::string kDirectory = "fuzz-data";

// The length of the snapshot file in an input: at most what follows the 5-byte header.
std::size_t snapshotLength(const std::uint8_t* data, std::size_t size) {
  const std::size_t length = static_cast<std::size_t>(data[1]) | (static_cast<std::size_t>(data[2]) << 8) |
                             (static_cast<std::size_t>(data[3]) << 16) | (static_cast<std::size_t>(data[4]) << 24);
  return length > size - 5 ? size - 5 : length;
}

// A write-ahead file with its keys out of order is promoted in key order, so the order of the
// entries may change from one open to the next; their contents may not.
bool sameStore(const store::StoreState& a, const store::StoreState& b) {
  return a.ok == b.ok && a.message == b.message && a.sequence == b.sequence &&
         store::testing::liveEntryMap(a) == store::testing::liveEntryMap(b);
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (size >= 5 && oreb_fuzz::shouldRepair(seed)) {
    const std::size_t length = snapshotLength(data, size);
    oreb_fuzz::repairChecksum(data + 5, length);
    oreb_fuzz::repairChecksum(data + 5 + length, size - 5 - length);
  }
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t length = snapshotLength(data, size);
  const std::uint8_t* rest = data + 5;
  const std::size_t restSize = size - 5;

  oreb_fuzz::MemoryFileSystem files;
  const std::string& dir = kDirectory;
  if (flags & 1) files.files[store::snapshotPath(dir)] = runtime::Bytes(rest, rest + length);
  if (flags & 2) files.files[store::walPath(dir)] = runtime::Bytes(rest + length, rest + restSize);
  runtime::ScopedFileSystem scope(files);

  store::Database database;
  try {
    database = store::openDatabase(dir);
  } catch (const std::invalid_argument&) {
    return 0;  // a zero byte in a stored key or value
  } catch (const runtime::vusk_runtime_exception&) {
    return 0;  // a file over the read limit
  }

  // Opening again finds the files settled: the same state, and nothing changed on disk.
  const auto settled = files.files;
  const store::Database again = store::openDatabase(dir);
  if (!sameStore(database.store, again.store) || database.records.size() != again.records.size() ||
      database.edges.size() != again.edges.size() || files.files != settled) {
    std::abort();
  }
  if (!database.store.ok) return 0;
  if (files.files.count(store::walPath(dir)) != 0) std::abort();  // recovery leaves no write-ahead file

  // A change that commits is there at the next open.
  store::RecordBatch batch;
  batch.records.push_back(store::testing::basicRecord("fuzz-probe", "customer", "Probe", "clinic", 0, 0));
  if (store::putBatch(database, batch)) {
    const store::Database reopened = store::openDatabase(dir);
    if (!reopened.store.ok || reopened.store.sequence != database.store.sequence ||
        store::findRecordIndex(reopened, "fuzz-probe") < 0) {
      std::abort();
    }
  }
  return 0;
}
