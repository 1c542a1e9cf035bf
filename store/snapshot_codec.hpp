// The one byte layout of the snapshot, write-ahead and next files: "CRV1", version, sequence,
// entry count, length-prefixed keys and values in ascending key order, and a 30-bit checksum
// (snapshot_layout.hpp places each part). Pure functions of values; no file is touched here.
#pragma once

#include <cstdint>

#include "runtime/text.hpp"
#include "store/store_state.hpp"

namespace store {

inline constexpr std::int32_t kMaxSnapshotFileBytes = 4194304;

// Appends the 4-byte zigzag form of the value, least significant byte first.
void writeZigzagInt32(Bytes& bytes, std::int32_t value);
// The value of the 4-byte zigzag field at the offset; the caller ensures offset + 4 fits.
std::int32_t readZigzagInt32(const Bytes& bytes, std::uint32_t offset);
// Appends the text's byte length as a zigzag field, then its bytes.
void writeLengthPrefixedText(Bytes& bytes, const Text& text);
// The file checksum of the first `length` bytes (the start value for length 0 or less).
std::int32_t snapshotChecksum(const Bytes& bytes, std::int32_t length);

// The complete file for the state's live entries, or empty bytes for an invalid state.
Bytes encodeSnapshot(const StoreState& state);
// encodeSnapshot for a state the caller has just checked with validateStoreState.
Bytes encodeValidSnapshot(const StoreState& state);
// encodeValidSnapshot without its checksum: the last four bytes are left for sealSnapshot, so
// that a writer can send the rest to the disk while the checksum is computed.
Bytes encodeUnsealedSnapshot(const StoreState& state);
// Writes the checksum of the file's other bytes into its last four.
void sealSnapshot(Bytes& bytes);
// An ok, clean state from a complete file, or a failed state with the first check's message.
// Throws std::invalid_argument for a key or value holding a zero byte.
StoreState decodeSnapshot(const Bytes& bytes, const Text& directory);

}  // namespace store
