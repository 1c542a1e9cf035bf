// Fuzzes the snapshot decoder with arbitrary file contents, most of them with a repaired
// checksum (fuzz/checksum_repair.hpp). Besides crashes and sanitizer reports it checks that whatever decodes re-encodes
// to a file that decodes to the same sequence and entries, and that a file already in the writer's form re-encodes byte
// for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "fuzz/checksum_repair.hpp"
#include "store/snapshot_codec.hpp"

namespace {

bool sameEntries(const store::StoreState& a, const store::StoreState& b) {
  if (a.sequence != b.sequence || a.entries.size() != b.entries.size()) return false;
  for (const store::StoreEntry& entry : a.entries) {
    const store::StoreLookup other = store::storeGet(b, entry.key);
    if (!other.found || other.value != entry.value) return false;
  }
  return true;
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  if (oreb_fuzz::shouldRepair(seed)) oreb_fuzz::repairChecksum(data, size);
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const runtime::Bytes bytes(data, data + size);
  store::StoreState state;
  try {
    state = store::decodeSnapshot(bytes, "fuzz");
  } catch (const std::invalid_argument&) {
    return 0;  // a zero byte in a stored key or value: reported to the caller by design
  }
  if (!state.ok) {
    if (!state.entries.empty() || state.sequence != 0 || state.message == "ok") std::abort();
    return 0;
  }
  if (state.dirty) std::abort();
  const runtime::Bytes again = store::encodeSnapshot(state);
  if (again.empty()) std::abort();  // every decoded state is valid
  const store::StoreState round = store::decodeSnapshot(again, "fuzz");
  if (!round.ok || !sameEntries(state, round)) std::abort();
  if (store::encodeSnapshot(round) != again) std::abort();
  return 0;
}
