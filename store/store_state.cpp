// The key/value map's entry operations and validation.
#include "store/store_state.hpp"

#include <algorithm>
#include <exception>
#include <utility>

namespace store {

StoreState makeStoreState(const Text& directory) {
  StoreState state;
  state.directory = directory;
  return state;
}

StoreState makeFailedStoreState(const Text& directory, const Text& message, OpenOutcome outcome) {
  StoreState state = makeStoreState(directory);
  state.ok = false;
  state.message = message;
  state.opened = outcome;
  return state;
}

SnapshotIdentity snapshotIdentityOf(const Bytes& bytes) {
  SnapshotIdentity identity;
  setSnapshotIdentity(bytes, identity);
  return identity;
}

void setSnapshotIdentity(const Bytes& bytes, SnapshotIdentity& identity) {
  identity.present = true;
  identity.size = static_cast<std::int64_t>(bytes.size());
  const std::size_t head = std::min(bytes.size(), kSnapshotHeadBytes);
  const std::size_t tail = std::min(bytes.size(), kSnapshotTailBytes);
  identity.head.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(head));
  identity.tail.assign(bytes.end() - static_cast<std::ptrdiff_t>(tail), bytes.end());
}

bool textWithinBytes(const Text& text, std::int32_t maxBytes) {
  return !text.empty() && maxBytes >= 1 && text.size() <= static_cast<std::size_t>(maxBytes);
}

bool validateStoreEntry(const StoreEntry& entry) {
  // A zero byte could be stored but never read back (the decoder refuses it), which would make
  // the whole store unreadable after the next commit: refuse it here.
  return textWithinBytes(entry.key, kMaxKeyBytes) && entry.value.size() <= static_cast<std::size_t>(kMaxValueBytes) &&
         entry.key.find('\0') == Text::npos && entry.value.find('\0') == Text::npos;
}

namespace {

// validateStoreState without the entries.
bool validateStoreFields(const StoreState& state) {
  if (state.schema != kStoreSchema) return false;
  if (state.formatVersion != layout::kFormatVersion) return false;
  if (!textWithinBytes(state.directory, kMaxDirectoryBytes)) return false;
  if (state.sequence < 0) return false;
  if (state.maxSnapshotBytes < kSmallestMaxSnapshotBytes || state.maxSnapshotBytes > kLargestMaxSnapshotBytes) {
    return false;
  }
  return state.entries.size() <= static_cast<std::size_t>(kMaxEntries);
}

}  // namespace

bool validateStoreState(const StoreState& state) {
  if (!validateStoreFields(state)) return false;
  return std::all_of(state.entries.begin(), state.entries.end(), validateStoreEntry);
}

bool validateForCommit(StoreState& state) {
  if (!validateStoreFields(state)) return false;
  if (const std::vector<std::int32_t>* changed = state.entries.changedSinceChecked(); changed != nullptr) {
    for (const std::int32_t i : *changed) {
      if (!validateStoreEntry(state.entries[static_cast<std::size_t>(i)])) return false;
    }
  } else {
    for (const StoreEntry& entry : state.entries) {
      if (!validateStoreEntry(entry)) return false;
    }
  }
  state.entries.markChecked();
  return true;
}

std::int32_t findEntryIndex(const StoreState& state, const Text& key) { return state.entries.find(key); }

StoreLookup storeGet(const StoreState& state, const Text& key) {
  const std::int32_t i = findEntryIndex(state, key);
  if (i < 0 || state.entries[static_cast<std::size_t>(i)].deleted) return {};
  return {true, state.entries[static_cast<std::size_t>(i)].value};
}

bool storePut(StoreState& state, Text key, Text value) {
  StoreEntry entry{std::move(key), std::move(value), false};
  if (!validateStoreEntry(entry)) return false;
  state.entries.put(std::move(entry.key), std::move(entry.value));
  state.dirty = true;
  return true;
}

StoreRollback::StoreRollback(StoreState& state) noexcept
    : state_(state),
      savepoint_(state.entries.openSavepoint()),
      dirty_(state.dirty),
      exceptions_(std::uncaught_exceptions()) {}

StoreRollback::~StoreRollback() {
  if (std::uncaught_exceptions() > exceptions_) {
    state_.entries.rollBack(savepoint_);
    state_.dirty = dirty_;
  } else {
    state_.entries.keepSavepoint(savepoint_);
  }
}

}  // namespace store
