// Mutated store files with a correct checksum: a random change to a file almost never keeps its
// checksum right, so without this the fuzzers would stop at the checksum check and never reach
// the decoding of entries or the catalog walk. Most mutated inputs are repaired; the rest keep
// exercising the check itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "store/snapshot_codec.hpp"
#include "store/snapshot_layout.hpp"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace oreb_fuzz {

// One mutated input in eight keeps whatever checksum the mutation left.
inline bool shouldRepair(unsigned int seed) { return seed % 8 != 0; }

// Writes the checksum of the file's bytes into its last four, as the writer would.
inline void repairChecksum(std::uint8_t* file, std::size_t size) {
  if (size < store::layout::kEmptyFileBytes || size > static_cast<std::size_t>(store::kMaxSnapshotFileBytes)) return;
  const std::size_t end = size - store::layout::kChecksumBytes;
  const runtime::Bytes bytes(file, file + size);
  runtime::Bytes field;
  store::writeZigzagInt32(field, store::snapshotChecksum(bytes, static_cast<std::int32_t>(end)));
  std::memcpy(file + end, field.data(), store::layout::kChecksumBytes);
}

}  // namespace oreb_fuzz
