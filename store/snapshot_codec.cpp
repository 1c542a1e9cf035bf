// Encoding and decoding of the snapshot byte layout. Offsets are unsigned or 64-bit so that no
// length read from a file can overflow a sum.
#include "store/snapshot_codec.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "runtime/slot_index.hpp"
#include "store/snapshot_layout.hpp"

namespace store {

namespace {

// The one writer and the one reader of an integer field: the zigzag form of an int32 in four
// bytes, least significant first.
void storeZigzag(std::uint8_t* out, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint32_t u = (v << 1) ^ (value < 0 ? 0xFFFFFFFFu : 0u);
  out[0] = static_cast<std::uint8_t>(u);
  out[1] = static_cast<std::uint8_t>(u >> 8);
  out[2] = static_cast<std::uint8_t>(u >> 16);
  out[3] = static_cast<std::uint8_t>(u >> 24);
}

std::int32_t loadZigzag(const std::uint8_t* in) {
  const std::uint32_t u = static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
                          (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
  return static_cast<std::int32_t>((u >> 1) ^ (0u - (u & 1u)));
}
static_assert(layout::kFieldBytes == 4);

// The checksum step over more bytes, before its final mask: the low 30 bits of a product and
// of an XOR depend only on the low 30 bits of their operands, so masking once at the end gives
// the same value with a shorter chain per byte.
// Eight bytes a step: the chain takes as long either way, but with fewer instructions per byte the
// processor has room to do the decoder's other work while the chain runs.
std::uint32_t checksumUpdate(std::uint32_t h, const std::uint8_t* p, std::size_t n) {
  constexpr std::uint32_t m = layout::kChecksumMultiplier;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    h = (h * m) ^ p[i];
    h = (h * m) ^ p[i + 1];
    h = (h * m) ^ p[i + 2];
    h = (h * m) ^ p[i + 3];
    h = (h * m) ^ p[i + 4];
    h = (h * m) ^ p[i + 5];
    h = (h * m) ^ p[i + 6];
    h = (h * m) ^ p[i + 7];
  }
  for (; i < n; ++i) h = (h * m) ^ p[i];
  return h;
}

// The text of `count` bytes at `start`, as Text.FromUtf8 makes it: a zero byte is left to
// textFromUtf8 so that the same exception is thrown; otherwise one copy and no byte loop.
Text textAt(const Bytes& bytes, std::uint64_t start, std::uint64_t count) {
  const auto* first = reinterpret_cast<const char*>(bytes.data() + start);
  if (count > 0 && std::memchr(first, 0, count) != nullptr) {
    return runtime::textFromUtf8(bytes, static_cast<std::int32_t>(start), static_cast<std::int32_t>(count));
  }
  return Text(first, count);
}

// True when the file is long enough for a header and a checksum, within the size open reads, and
// starts with the magic.
bool headerFits(const Bytes& bytes) {
  const std::uint64_t size = bytes.size();
  return size >= layout::kEmptyFileBytes && size <= static_cast<std::uint64_t>(kMaxSnapshotFileBytes) &&
         std::memcmp(bytes.data(), layout::kMagic, layout::kMagicBytes) == 0;
}

struct SnapshotHeader {
  std::int32_t version = 0;
  std::int32_t sequence = 0;
  std::int32_t count = 0;
};

// The header's fields of a file that headerFits.
SnapshotHeader readHeader(const Bytes& bytes) {
  return {loadZigzag(bytes.data() + layout::kVersionOffset), loadZigzag(bytes.data() + layout::kSequenceOffset),
          loadZigzag(bytes.data() + layout::kCountOffset)};
}

// The version this decoder reads, a sequence that is not negative and a count within the limit.
bool metadataValid(const SnapshotHeader& header) {
  return header.version == layout::kFormatVersion && header.sequence >= 0 && header.count >= 0 &&
         header.count <= kMaxEntries;
}

// True when the checksum chain, masked, is the value of the stored checksum field.
bool checksumMatches(std::int32_t stored, std::uint32_t chain) {
  return static_cast<std::int32_t>(chain & layout::kChecksumMask) == stored;
}

// How far the reading of the entries got: `at` is the offset of the first entry not read, whose
// lengths are kept when it holds a zero byte.
struct EntryScan {
  std::uint64_t at;
  std::uint64_t keyLength;
  std::uint64_t valueLength;
  const char* problem;  // the message for lengths out of their limits or the file, or nullptr
  bool zeroByte;
};

// Reads the two lengths of the entry at `p`; the message of the first that is out of its limits
// or runs past `end`, or nullptr.
const char* readEntryLengths(const Bytes& bytes, std::uint64_t p, std::uint64_t end, std::uint64_t& keyLength,
                             std::uint64_t& valueLength) {
  if (p + layout::kEntryFieldBytes > end) return "snapshot entry header is truncated";
  const std::int64_t k = loadZigzag(bytes.data() + p);
  if (k < 1 || k > kMaxKeyBytes ||
      p + layout::kFieldBytes + static_cast<std::uint64_t>(k) + layout::kFieldBytes > end) {
    return "snapshot key is invalid";
  }
  keyLength = static_cast<std::uint64_t>(k);
  const std::uint64_t valueField = p + layout::kFieldBytes + keyLength;
  const std::int64_t v = loadZigzag(bytes.data() + valueField);
  if (v < 0 || v > kMaxValueBytes || valueField + layout::kFieldBytes + static_cast<std::uint64_t>(v) > end) {
    return "snapshot value is invalid";
  }
  valueLength = static_cast<std::uint64_t>(v);
  return nullptr;
}

// Gathers the entries read as puts would leave them. While the keys ascend, as the store's own
// writer leaves them, no key can repeat: the entries are kept as they are, each key hashed while
// its bytes are at hand, and handed to the list whole at the end. From the first key that does
// not ascend on, each entry is put, so that a repeated key overwrites the earlier one's value as
// a put does.
class EntryGatherer {
 public:
  EntryGatherer(StoreEntryList& entries, std::size_t count) : entries_(entries) {
    ascending_.reserve(count);
    hashes_.reserve(count);
  }

  // `key` lies in the file's bytes, which outlive the gatherer.
  void add(std::string_view key, std::string_view value) {
    if (!putting_) {
      if (ascending_.empty() || previous_ < key) {
        ascending_.push_back({Text(key), Text(value), false});
        hashes_.push_back(runtime::SlotIndex::hashOf(key));
        previous_ = key;
        return;
      }
      finish();
      putting_ = true;
    }
    entries_.put(Text(key), Text(value));
  }
  // Hands the ascending entries over; the entries put after them are in the list already.
  void finish() {
    if (!putting_) entries_.assignAscending(std::move(ascending_), hashes_);
  }

 private:
  StoreEntryList& entries_;
  std::vector<StoreEntry> ascending_;
  std::vector<std::uint32_t> hashes_;
  std::string_view previous_;
  bool putting_ = false;
};

// The checksum chain over the bytes before `end`, computed a few bytes at a time. The chain is
// serial, and the processor runs only a few hundred instructions ahead of the oldest one not yet
// done: a whole entry's chain at once holds the reading of the entries up, while short steps of
// it between the parts of that reading let the two go on together. The steps split the file's
// bytes evenly over the entries its header counts, so that they keep pace with the reading; what
// is left when the reading stops is done at the end.
class ChecksumCursor {
 public:
  static constexpr std::uint64_t kStepsPerEntry = 3;

  ChecksumCursor(const Bytes& bytes, std::uint64_t end, std::int32_t count)
      : at_(bytes.data()), end_(bytes.data() + end), step_(stepFor(end, count)) {}

  void step() {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(step_, static_cast<std::uint64_t>(end_ - at_)));
    h_ = checksumUpdate(h_, at_, n);
    at_ += n;
  }
  // The chain over every byte before `end`.
  std::uint32_t finish() {
    h_ = checksumUpdate(h_, at_, static_cast<std::size_t>(end_ - at_));
    at_ = end_;
    return h_;
  }

 private:
  // A whole number of the chain's eight-byte steps.
  static std::uint64_t stepFor(std::uint64_t end, std::int32_t count) {
    const std::uint64_t steps = static_cast<std::uint64_t>(std::max(count, 1)) * kStepsPerEntry;
    return ((end + steps - 1) / steps + 7) / 8 * 8;
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  std::uint64_t step_;
  std::uint32_t h_ = layout::kChecksumStart;
};

// Reads up to `count` entries into the list, stopping at the first whose lengths are invalid or
// that holds a zero byte, and steps the checksum between the parts of each entry's reading. (The
// store starts no thread of its own: the program runs on one.)
EntryScan scanEntries(const Bytes& bytes, std::uint64_t end, std::int32_t count, StoreEntryList& entries,
                      ChecksumCursor& checksum) {
  std::uint64_t p = layout::kHeaderBytes;
  std::uint64_t keyLength = 0;
  std::uint64_t valueLength = 0;
  const char* problem = nullptr;
  bool zeroByte = false;
  EntryGatherer gathered(entries, static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    checksum.step();
    problem = readEntryLengths(bytes, p, end, keyLength, valueLength);
    if (problem != nullptr) break;
    const auto* key = reinterpret_cast<const char*>(bytes.data() + p + layout::kFieldBytes);
    const auto* value = reinterpret_cast<const char*>(bytes.data() + p + layout::kEntryFieldBytes + keyLength);
    if (std::memchr(key, 0, keyLength) != nullptr ||
        (valueLength > 0 && std::memchr(value, 0, valueLength) != nullptr)) {
      zeroByte = true;
      break;
    }
    checksum.step();
    // Lengths within the limits and no zero byte: the entry is valid, as storePut would find.
    gathered.add({key, keyLength}, {value, valueLength});
    checksum.step();
    p += layout::kEntryFieldBytes + keyLength + valueLength;
  }
  gathered.finish();
  return {p, keyLength, valueLength, problem, zeroByte};
}

// Throws Text.FromUtf8's own refusal for the zero byte of the entry the scan stopped at, for the
// key first and then the value.
void refuseZeroByte(const Bytes& bytes, const EntryScan& scan) {
  const std::uint64_t key = scan.at + layout::kFieldBytes;
  textAt(bytes, key, scan.keyLength);
  textAt(bytes, key + scan.keyLength + layout::kFieldBytes, scan.valueLength);
}

}  // namespace

void writeZigzagInt32(Bytes& bytes, std::int32_t value) {
  const std::size_t at = bytes.size();
  bytes.resize(at + layout::kFieldBytes);
  storeZigzag(bytes.data() + at, value);
}

std::int32_t readZigzagInt32(const Bytes& bytes, std::uint32_t offset) { return loadZigzag(bytes.data() + offset); }

void writeLengthPrefixedText(Bytes& bytes, const Text& text) {
  writeZigzagInt32(bytes, static_cast<std::int32_t>(text.size()));
  bytes.insert(bytes.end(), text.begin(), text.end());
}

std::int32_t snapshotChecksum(const Bytes& bytes, std::int32_t length) {
  if (length <= 0) return static_cast<std::int32_t>(layout::kChecksumStart);
  const std::size_t n = std::min(static_cast<std::size_t>(length), bytes.size());
  return static_cast<std::int32_t>(checksumUpdate(layout::kChecksumStart, bytes.data(), n) & layout::kChecksumMask);
}

Bytes encodeSnapshot(const StoreState& state) {
  if (!validateStoreState(state)) return {};
  return encodeValidSnapshot(state);
}

Bytes encodeValidSnapshot(const StoreState& state) {
  Bytes bytes = encodeUnsealedSnapshot(state);
  sealSnapshot(bytes);
  return bytes;
}

void sealSnapshot(Bytes& bytes) {
  const std::size_t end = bytes.size() - layout::kChecksumBytes;
  const std::uint32_t h = checksumUpdate(layout::kChecksumStart, bytes.data(), end) & layout::kChecksumMask;
  storeZigzag(bytes.data() + end, static_cast<std::int32_t>(h));
}

Bytes encodeUnsealedSnapshot(const StoreState& state) {
  // Equal keys are ordered by position, so the order is that of a stable sort.
  std::vector<std::int32_t> scratch;
  const std::vector<std::int32_t>& order = state.entries.keyOrder(scratch);
  std::vector<const StoreEntry*> live;
  live.reserve(order.size());
  std::size_t total = layout::kEmptyFileBytes;
  for (std::int32_t i : order) {
    const StoreEntry& entry = state.entries[static_cast<std::size_t>(i)];
    if (entry.deleted) continue;
    live.push_back(&entry);
    total += layout::kEntryFieldBytes + entry.key.size() + entry.value.size();
  }
  Bytes bytes(total);
  std::uint8_t* out = bytes.data();
  auto putField = [&out](std::int32_t value) {
    storeZigzag(out, value);
    out += layout::kFieldBytes;
  };
  auto putText = [&](const Text& text) {
    putField(static_cast<std::int32_t>(text.size()));
    // A length-prefixed field, not a C string: no terminating zero belongs in it.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out += text.size();
  };
  std::memcpy(out, layout::kMagic, layout::kMagicBytes);
  out += layout::kMagicBytes;
  putField(state.formatVersion);
  putField(state.sequence);
  putField(static_cast<std::int32_t>(live.size()));
  for (const StoreEntry* entry : live) {
    putText(entry->key);
    putText(entry->value);
  }
  return bytes;  // the checksum's four bytes are still zero
}

StoreState decodeSnapshot(const Bytes& bytes, const Text& directory) {
  auto fail = [&directory](const char* message) { return makeFailedStoreState(directory, message); };
  if (!headerFits(bytes)) return fail("snapshot header is invalid");
  const std::uint64_t end = bytes.size() - layout::kChecksumBytes;
  const std::int32_t stored = loadZigzag(bytes.data() + end);
  const SnapshotHeader header = readHeader(bytes);
  if (!metadataValid(header)) {
    if (!checksumMatches(stored, checksumUpdate(layout::kChecksumStart, bytes.data(), end))) {
      return fail("snapshot checksum is invalid");
    }
    return fail("snapshot metadata is invalid");
  }

  StoreState result = makeStoreState(directory);
  result.sequence = header.sequence;
  ChecksumCursor checksum(bytes, end, header.count);
  const EntryScan scan = scanEntries(bytes, end, header.count, result.entries, checksum);
  // Whatever the entries hold, a file whose checksum is wrong reports only that.
  if (!checksumMatches(stored, checksum.finish())) {
    return fail("snapshot checksum is invalid");
  }
  if (scan.zeroByte) refuseZeroByte(bytes, scan);
  if (scan.problem != nullptr) return fail(scan.problem);
  if (scan.at != end) return fail("snapshot has trailing bytes");
  // Written in key order, the file needs no sorting; a file out of order is sorted once here.
  result.entries.settleKeyOrder();
  // Every entry passed the same checks as storePut's while it was read.
  result.entries.markChecked();
  result.dirty = false;
  return result;
}

}  // namespace store
