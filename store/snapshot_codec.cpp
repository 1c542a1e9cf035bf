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
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    out += text.size();
  };
  std::memcpy(out, kMagic, 4);
  out += 4;
  putField(state.formatVersion);
  putField(state.sequence);
  putField(static_cast<std::int32_t>(live.size()));
  // The checksum follows the writing entry by entry, while the bytes are still in cache.
  std::uint32_t h = checksumUpdate(kChecksumStart, bytes.data(), 16);
  for (const StoreEntry* entry : live) {
    std::uint8_t* start = out;
    putText(entry->key);
    putText(entry->value);
    h = checksumUpdate(h, start, static_cast<std::size_t>(out - start));
  }
  putField(static_cast<std::int32_t>(h & 0x3FFFFFFFu));
  return bytes;
}

StoreState decodeSnapshot(const Bytes& bytes, const Text& directory) {
  const std::uint64_t size = bytes.size();
  auto fail = [&directory](const char* message) { return makeFailedStoreState(directory, message); };
  if (size < 20 || size > static_cast<std::uint64_t>(kMaxSnapshotFileBytes) ||
      std::memcmp(bytes.data(), kMagic, 4) != 0) {
    return fail("snapshot header is invalid");
  }
  const std::uint64_t end = size - 4;
  if (readZigzagInt32(bytes, static_cast<std::uint32_t>(end)) !=
      snapshotChecksum(bytes, static_cast<std::int32_t>(end))) {
    return fail("snapshot checksum is invalid");
  }
  const std::int32_t version = readZigzagInt32(bytes, 4);
  const std::int32_t sequence = readZigzagInt32(bytes, 8);
  const std::int32_t count = readZigzagInt32(bytes, 12);
  if (version != 1 || sequence < 0 || count < 0 || count > kMaxEntries) return fail("snapshot metadata is invalid");

  StoreState result = makeStoreState(directory);
  result.sequence = sequence;
  result.entries.reserve(static_cast<std::size_t>(count));
  std::uint64_t p = 16;
  for (std::int32_t i = 0; i < count; ++i) {
    if (p + 8 > end) return fail("snapshot entry header is truncated");
    const std::int64_t k = readZigzagInt32(bytes, static_cast<std::uint32_t>(p));
    if (k < 1 || k > kMaxKeyBytes || p + 4 + static_cast<std::uint64_t>(k) + 4 > end)
      return fail("snapshot key is invalid");
    const auto keyLength = static_cast<std::uint64_t>(k);
    Text key = textAt(bytes, p + 4, keyLength);
    const std::int64_t v = readZigzagInt32(bytes, static_cast<std::uint32_t>(p + 4 + keyLength));
    if (v < 0 || v > kMaxValueBytes || p + 8 + keyLength + static_cast<std::uint64_t>(v) > end) {
      return fail("snapshot value is invalid");
    }
    const auto valueLength = static_cast<std::uint64_t>(v);
    Text value = textAt(bytes, p + 8 + keyLength, valueLength);
    if (!storePut(result, std::move(key), std::move(value))) return fail("snapshot contains an invalid entry");
    p += 8 + keyLength + valueLength;
  }
  if (p != end) return fail("snapshot has trailing bytes");
  // Written in key order, the file needs no sorting; a file out of order is sorted once here.
  result.entries.settleKeyOrder();
  result.dirty = false;
  return result;
}

}  // namespace store
