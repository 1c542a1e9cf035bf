// Where each part of a store file lies. The snapshot, write-ahead and next files share one layout;
// every integer field is four bytes holding the zigzag form of an int32, least significant first:
//
//   offset 0   the magic "CRV1"
//   offset 4   the format version (1)
//   offset 8   the commit sequence
//   offset 12  the entry count
//   offset 16  the entries, each a key length, the key's bytes, a value length, the value's bytes
//   last 4     the checksum of every byte before it
//
// The checksum starts at kChecksumStart and takes each byte b as h = (h * kChecksumMultiplier) ^ b;
// the stored value is h & kChecksumMask, which is never negative.
#pragma once

#include <cstddef>
#include <cstdint>

namespace store::layout {

inline constexpr std::uint8_t kMagic[] = {'C', 'R', 'V', '1'};
inline constexpr std::size_t kMagicBytes = sizeof kMagic;
// The size of every integer field: the header's, an entry's two lengths and the checksum.
inline constexpr std::size_t kFieldBytes = 4;

inline constexpr std::size_t kVersionOffset = 4;
inline constexpr std::size_t kSequenceOffset = 8;
inline constexpr std::size_t kCountOffset = 12;
// The magic and the three header fields; the entries start here.
inline constexpr std::size_t kHeaderBytes = 16;
inline constexpr std::size_t kChecksumBytes = kFieldBytes;
// A file with no entry: the header and the checksum.
inline constexpr std::size_t kEmptyFileBytes = kHeaderBytes + kChecksumBytes;
// An entry's two length fields; its key and value bytes come on top.
inline constexpr std::size_t kEntryFieldBytes = 2 * kFieldBytes;

inline constexpr std::int32_t kFormatVersion = 1;

inline constexpr std::uint32_t kChecksumStart = 216613626u;
inline constexpr std::uint32_t kChecksumMultiplier = 16777619u;
inline constexpr std::uint32_t kChecksumMask = 0x3FFFFFFFu;

static_assert(kMagicBytes == kFieldBytes && kVersionOffset == kMagicBytes);
static_assert(kSequenceOffset == kVersionOffset + kFieldBytes && kCountOffset == kSequenceOffset + kFieldBytes);
static_assert(kHeaderBytes == kCountOffset + kFieldBytes);

}  // namespace store::layout
