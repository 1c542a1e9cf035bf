// Encoding and decoding of the snapshot byte layout. Offsets are unsigned or 64-bit so that no
// length read from a file can overflow a sum.
#include "store/snapshot_codec.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace store {

namespace {

const std::uint8_t kMagic[4] = {'C', 'R', 'V', '1'};

std::uint32_t readU32(const Bytes& bytes, std::uint64_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) | (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

std::int32_t zigzagDecode(std::uint32_t u) { return static_cast<std::int32_t>((u >> 1) ^ (0u - (u & 1u))); }

constexpr std::uint32_t kChecksumStart = 216613626u;

// The checksum step over more bytes, before its final mask: the low 30 bits of a product and
// of an XOR depend only on the low 30 bits of their operands, so masking once at the end gives
// the same value with a shorter chain per byte.
std::uint32_t checksumUpdate(std::uint32_t h, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) h = (h * 16777619u) ^ p[i];
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

}  // namespace

void writeZigzagInt32(Bytes& bytes, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::uint32_t u = (v << 1) ^ (value < 0 ? 0xFFFFFFFFu : 0u);
  bytes.push_back(static_cast<std::uint8_t>(u & 0xFFu));
  bytes.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFFu));
  bytes.push_back(static_cast<std::uint8_t>((u >> 16) & 0xFFu));
  bytes.push_back(static_cast<std::uint8_t>((u >> 24) & 0xFFu));
}

std::int32_t readZigzagInt32(const Bytes& bytes, std::uint32_t offset) { return zigzagDecode(readU32(bytes, offset)); }

void writeLengthPrefixedText(Bytes& bytes, const Text& text) {
  writeZigzagInt32(bytes, static_cast<std::int32_t>(text.size()));
  bytes.insert(bytes.end(), text.begin(), text.end());
}

std::int32_t snapshotChecksum(const Bytes& bytes, std::int32_t length) {
  if (length <= 0) return static_cast<std::int32_t>(kChecksumStart);
  const std::size_t n = std::min(static_cast<std::size_t>(length), bytes.size());
  return static_cast<std::int32_t>(checksumUpdate(kChecksumStart, bytes.data(), n) & 0x3FFFFFFFu);
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
  const std::size_t end = bytes.size() - 4;
  const std::uint32_t h = checksumUpdate(kChecksumStart, bytes.data(), end) & 0x3FFFFFFFu;
  const std::uint32_t u = h << 1;  // the zigzag form of a value that is never negative
  for (std::size_t i = 0; i < 4; ++i) bytes[end + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

Bytes encodeUnsealedSnapshot(const StoreState& state) {
  // Equal keys are ordered by position, so the order is that of a stable sort.
  std::vector<std::int32_t> scratch;
  const std::vector<std::int32_t>& order = state.entries.keyOrder(scratch);
  std::vector<const StoreEntry*> live;
  live.reserve(order.size());
  std::size_t total = 20;
  for (std::int32_t i : order) {
    const StoreEntry& entry = state.entries[static_cast<std::size_t>(i)];
    if (entry.deleted) continue;
    live.push_back(&entry);
    total += 8 + entry.key.size() + entry.value.size();
  }
  Bytes bytes(total);
  std::uint8_t* out = bytes.data();
  auto putField = [&out](std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    const std::uint32_t u = (v << 1) ^ (value < 0 ? 0xFFFFFFFFu : 0u);
    out[0] = static_cast<std::uint8_t>(u);
    out[1] = static_cast<std::uint8_t>(u >> 8);
    out[2] = static_cast<std::uint8_t>(u >> 16);
    out[3] = static_cast<std::uint8_t>(u >> 24);
    out += 4;
  };
  auto putText = [&](const Text& text) {
    putField(static_cast<std::int32_t>(text.size()));
    // A length-prefixed field, not a C string: no terminating zero belongs in it.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out += text.size();
  };
  std::memcpy(out, kMagic, 4);
  out += 4;
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
  const std::uint64_t size = bytes.size();
  auto fail = [&directory](const char* message) { return makeFailedStoreState(directory, message); };
  if (size < 20 || size > static_cast<std::uint64_t>(kMaxSnapshotFileBytes) ||
      std::memcmp(bytes.data(), kMagic, 4) != 0) {
    return fail("snapshot header is invalid");
  }
  const std::uint64_t end = size - 4;
  const std::uint32_t stored = readU32(bytes, end);
  auto checksumMatches = [stored](std::uint32_t h) {
    return static_cast<std::int32_t>(h & 0x3FFFFFFFu) == zigzagDecode(stored);
  };
  const std::int32_t version = readZigzagInt32(bytes, 4);
  const std::int32_t sequence = readZigzagInt32(bytes, 8);
  const std::int32_t count = readZigzagInt32(bytes, 12);
  if (version != 1 || sequence < 0 || count < 0 || count > kMaxEntries) {
    if (!checksumMatches(checksumUpdate(kChecksumStart, bytes.data(), end)))
      return fail("snapshot checksum is invalid");
    return fail("snapshot metadata is invalid");
  }

  // The checksum is a serial chain over every byte; it is computed entry by entry as the entries
  // are read, so that the processor overlaps it with the reading. Its verdict still comes first:
  // whatever the entries hold, a file whose checksum is wrong reports only that. (The store starts
  // no thread of its own: the program runs on one.)
  StoreState result = makeStoreState(directory);
  result.sequence = sequence;
  result.entries.reserve(static_cast<std::size_t>(count));
  std::uint32_t h = checksumUpdate(kChecksumStart, bytes.data(), 16);
  const char* problem = nullptr;
  bool zeroByte = false;
  std::uint64_t p = 16;
  std::uint64_t keyLength = 0;
  std::uint64_t valueLength = 0;
  // The entries are put a few at a time, so that the index can fetch their slots together.
  constexpr std::size_t kPendingEntries = 64;
  std::vector<std::pair<Text, Text>> pending;
  pending.reserve(kPendingEntries);
  for (std::int32_t i = 0; i < count; ++i) {
    if (p + 8 > end) {
      problem = "snapshot entry header is truncated";
      break;
    }
    const std::int64_t k = readZigzagInt32(bytes, static_cast<std::uint32_t>(p));
    if (k < 1 || k > kMaxKeyBytes || p + 4 + static_cast<std::uint64_t>(k) + 4 > end) {
      problem = "snapshot key is invalid";
      break;
    }
    keyLength = static_cast<std::uint64_t>(k);
    const std::int64_t v = readZigzagInt32(bytes, static_cast<std::uint32_t>(p + 4 + keyLength));
    if (v < 0 || v > kMaxValueBytes || p + 8 + keyLength + static_cast<std::uint64_t>(v) > end) {
      problem = "snapshot value is invalid";
      break;
    }
    valueLength = static_cast<std::uint64_t>(v);
    const auto* key = reinterpret_cast<const char*>(bytes.data() + p + 4);
    const auto* value = reinterpret_cast<const char*>(bytes.data() + p + 8 + keyLength);
    if (std::memchr(key, 0, keyLength) != nullptr ||
        (valueLength > 0 && std::memchr(value, 0, valueLength) != nullptr)) {
      zeroByte = true;
      break;
    }
    h = checksumUpdate(h, bytes.data() + p, 8 + keyLength + valueLength);
    // Lengths within the limits and no zero byte: the entry is valid, as storePut would find.
    pending.emplace_back(Text(key, keyLength), Text(value, valueLength));
    if (pending.size() == kPendingEntries) {
      result.entries.putEach(pending);
      pending.clear();
    }
    p += 8 + keyLength + valueLength;
  }
  result.entries.putEach(pending);
  if (!checksumMatches(checksumUpdate(h, bytes.data() + p, end - p))) return fail("snapshot checksum is invalid");
  if (zeroByte) {
    // Text.FromUtf8's own refusal, for the key first and then the value.
    textAt(bytes, p + 4, keyLength);
    textAt(bytes, p + 8 + keyLength, valueLength);
  }
  if (problem != nullptr) return fail(problem);
  if (p != end) return fail("snapshot has trailing bytes");
  // Written in key order, the file needs no sorting; a file out of order is sorted once here.
  result.entries.settleKeyOrder();
  // Every entry passed the same checks as storePut's above.
  result.entries.markChecked();
  result.dirty = false;
  return result;
}

}  // namespace store
