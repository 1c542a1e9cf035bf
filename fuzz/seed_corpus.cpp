// Writes the seed corpus of the fuzz targets: real store files made by the store itself.
// Usage: seed_corpus <output directory>; creates snapshot_decoder/ and open_database/ in it.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "fuzz/memory_file_system.hpp"
#include "store/batch.hpp"
#include "store/database.hpp"
#include "store/snapshot_codec.hpp"
#include "store/testing/record_builders.hpp"

namespace {

using store::testing::namedRecord;
using store::testing::ownedByEdgeWithProperties;

void write(const std::filesystem::path& path, const runtime::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

runtime::Bytes openInput(std::uint8_t flags, const runtime::Bytes& snapshot, const runtime::Bytes& wal) {
  runtime::Bytes input = {
      flags, static_cast<std::uint8_t>(snapshot.size()), static_cast<std::uint8_t>(snapshot.size() >> 8),
      static_cast<std::uint8_t>(snapshot.size() >> 16), static_cast<std::uint8_t>(snapshot.size() >> 24)};
  input.insert(input.end(), snapshot.begin(), snapshot.end());
  input.insert(input.end(), wal.begin(), wal.end());
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: seed_corpus <output directory>\n";
    return 2;
  }
  const std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out / "snapshot_decoder");
  std::filesystem::create_directories(out / "open_database");

  oreb_fuzz::MemoryFileSystem files;
  runtime::ScopedFileSystem scope(files);
  const std::string dir = std::filesystem::temp_directory_path().string();
  store::Database database = store::openDatabase(dir);
  const runtime::Bytes empty = store::encodeSnapshot(database.store);

  store::RecordBatch seed;
  seed.records = {namedRecord("customer-1", "customer", "Ada Brook"), namedRecord("customer-2", "customer", "Ben Clay"),
                  namedRecord("animal-1", "animal", "Rex"), namedRecord("animal-2", "animal", "Mia"),
                  namedRecord("animal-3", "animal", "Olli")};
  seed.edges = {ownedByEdgeWithProperties("owned-1", "animal-1", "customer-1"),
                ownedByEdgeWithProperties("owned-2", "animal-2", "customer-1"),
                ownedByEdgeWithProperties("owned-3", "animal-3", "customer-2")};
  if (!store::putBatch(database, seed)) return 1;
  const runtime::Bytes seeded = files.files.at(store::snapshotPath(dir));

  store::Record changed = namedRecord("animal-2", "animal", "Mia");
  changed.lifecycle = "archival";
  changed.updated = 5;
  store::RecordBatch archive;
  archive.records = {changed};
  if (!store::putBatch(database, archive)) return 1;
  const runtime::Bytes archived = files.files.at(store::snapshotPath(dir));

  write(out / "snapshot_decoder" / "empty-store", empty);
  write(out / "snapshot_decoder" / "five-records", seeded);
  write(out / "snapshot_decoder" / "five-records-archived", archived);

  write(out / "open_database" / "new-directory", openInput(0, {}, {}));
  write(out / "open_database" / "snapshot-only", openInput(1, seeded, {}));
  write(out / "open_database" / "write-ahead-ahead", openInput(3, seeded, archived));
  write(out / "open_database" / "write-ahead-stale", openInput(3, archived, seeded));
  write(out / "open_database" / "write-ahead-only", openInput(2, {}, archived));
  runtime::Bytes torn(archived.begin(), archived.begin() + static_cast<std::ptrdiff_t>(archived.size() / 2));
  write(out / "open_database" / "write-ahead-torn", openInput(3, seeded, torn));
  return 0;
}
