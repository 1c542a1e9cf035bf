// Construction, the read accessors, the store index and the one-line description of the
// retained store. Row accessors given a row outside their table answer the "not found" values
// (-1, 0) instead of reading past the columns.
#include "retained/retained_resource_store.hpp"

#include <cstddef>
#include <utility>
#include <vector>

#include "retained/store_messages.hpp"

namespace retained {
namespace {

using runtime::formatText;

constexpr std::size_t kMaxSurfaceIdBytes = 128;

// A column of the command table at a row, or -1 for a row the table does not hold.
std::int32_t refAt(const CommandTable& commands, const std::vector<std::int32_t>& column, std::int32_t row) {
  return commands.holds(row) ? column[static_cast<std::size_t>(row)] : -1;
}

std::uint32_t rowCount(std::size_t size) { return static_cast<std::uint32_t>(size); }

}  // namespace

RetainedResourceStore::RetainedResourceStore(std::string_view surfaceId)
    : identityToken_(std::make_shared<StoreIdentityToken>()),
      surfaceId_(surfaceId),
      state_("open"),
      index_(ResourceKeyIndex::create(kIndexBucketCount)) {
  if (surfaceId_.empty() || surfaceId_.size() > kMaxSurfaceIdBytes) state_ = "invalid";
}

RetainedResourceStore::~RetainedResourceStore() = default;

Text RetainedResourceStore::surfaceId() const { return surfaceId_; }
Text RetainedResourceStore::state() const { return state_; }
std::uint32_t RetainedResourceStore::revision() const { return revision_; }

std::uint32_t RetainedResourceStore::ownerCount() const { return rowCount(tables_.owners.rows()); }
std::uint32_t RetainedResourceStore::commandCount() const { return commandCount_; }
std::uint32_t RetainedResourceStore::payloadBytes() const { return payloadBytes_; }
std::uint32_t RetainedResourceStore::validationCount() const { return validationCount_; }
std::uint32_t RetainedResourceStore::explicitComparisonCount() const { return explicitComparisonCount_; }
std::uint32_t RetainedResourceStore::payloadComparisonCount() const { return payloadComparisonCount_; }
std::uint32_t RetainedResourceStore::admissionCount() const { return admissionCount_; }

std::uint32_t RetainedResourceStore::indexKeyCount() const { return index_.nodeCount(); }
std::uint32_t RetainedResourceStore::indexBucketCount() const { return index_.bucketCount; }
std::uint32_t RetainedResourceStore::indexProbeCount() const { return index_.probeCount; }

std::uint32_t RetainedResourceStore::paintCount() const { return rowCount(tables_.paints.rows()); }
std::uint32_t RetainedResourceStore::imageCount() const { return rowCount(tables_.images.rows()); }
std::uint32_t RetainedResourceStore::glyphCount() const { return rowCount(tables_.glyphs.rows()); }
std::uint32_t RetainedResourceStore::clipCount() const { return rowCount(tables_.clips.rows()); }
std::uint32_t RetainedResourceStore::transformCount() const { return rowCount(tables_.transforms.rows()); }

std::int32_t RetainedResourceStore::commandRef1(std::int32_t row) const {
  return refAt(tables_.commands, tables_.commands.paintRefs, row);
}
std::int32_t RetainedResourceStore::commandRef2(std::int32_t row) const {
  return refAt(tables_.commands, tables_.commands.imageRefs, row);
}
std::int32_t RetainedResourceStore::commandRef3(std::int32_t row) const {
  return refAt(tables_.commands, tables_.commands.glyphRefs, row);
}
std::int32_t RetainedResourceStore::commandRef4(std::int32_t row) const {
  return refAt(tables_.commands, tables_.commands.clipRefs, row);
}
std::int32_t RetainedResourceStore::commandRef5(std::int32_t row) const {
  return refAt(tables_.commands, tables_.commands.transformRefs, row);
}

std::int32_t RetainedResourceStore::commandOwner(std::int32_t row) const {
  return refAt(tables_.commands, tables_.commands.owners, row);
}

std::uint32_t RetainedResourceStore::entryCount() const {
  return paintCount() + imageCount() + glyphCount() + clipCount() + transformCount();
}

std::int32_t RetainedResourceStore::findOwner(std::string_view ownerId) const {
  return indexGet(resourceKey("binding", ownerId, 0));
}

std::int32_t RetainedResourceStore::indexGet(std::string_view key) const {
  std::uint32_t visited = 0;
  return index_.find(key, visited);
}

std::int32_t RetainedResourceStore::findOwnerCounted(AdmissionResult& result, std::string_view ownerId) const {
  return indexGetCounted(result, resourceKey("binding", ownerId, 0));
}

std::int32_t RetainedResourceStore::indexGetCounted(AdmissionResult& result, std::string_view key) const {
  std::uint32_t visited = 0;
  const std::int32_t value = index_.find(key, visited);
  result.indexProbeCount += visited;
  return value;
}

void RetainedResourceStore::indexPut(std::string_view key, std::uint32_t value) {
  index_.probeCount += index_.putCounting(key, value);
}

std::int32_t RetainedResourceStore::ownerGeneration(std::int32_t ownerRow) const {
  return tables_.owners.holds(ownerRow) ? tables_.owners.generations[static_cast<std::size_t>(ownerRow)] : 0;
}

namespace {

// Command row of position j in an owner's range, or -1 when the owner row or the position is
// outside what the store holds.
std::int32_t ownerCommandRow(const OwnerTable& owners, std::int32_t ownerRow, std::uint32_t position) {
  if (!owners.holds(ownerRow)) return -1;
  const auto o = static_cast<std::size_t>(ownerRow);
  const std::int32_t count = owners.commandCounts[o];
  if (count < 0 || position >= static_cast<std::uint32_t>(count)) return -1;
  const std::int64_t row = static_cast<std::int64_t>(owners.firstRows[o]) + position;
  return row > INT32_MAX ? -1 : static_cast<std::int32_t>(row);
}

}  // namespace

std::int32_t RetainedResourceStore::ownerCommandRef1(std::int32_t ownerRow, std::uint32_t position) const {
  return refAt(tables_.commands, tables_.commands.paintRefs, ownerCommandRow(tables_.owners, ownerRow, position));
}
std::int32_t RetainedResourceStore::ownerCommandRef2(std::int32_t ownerRow, std::uint32_t position) const {
  return refAt(tables_.commands, tables_.commands.imageRefs, ownerCommandRow(tables_.owners, ownerRow, position));
}
std::int32_t RetainedResourceStore::ownerCommandRef3(std::int32_t ownerRow, std::uint32_t position) const {
  return refAt(tables_.commands, tables_.commands.glyphRefs, ownerCommandRow(tables_.owners, ownerRow, position));
}
std::int32_t RetainedResourceStore::ownerCommandRef4(std::int32_t ownerRow, std::uint32_t position) const {
  return refAt(tables_.commands, tables_.commands.clipRefs, ownerCommandRow(tables_.owners, ownerRow, position));
}
std::int32_t RetainedResourceStore::ownerCommandRef5(std::int32_t ownerRow, std::uint32_t position) const {
  return refAt(tables_.commands, tables_.commands.transformRefs, ownerCommandRow(tables_.owners, ownerRow, position));
}

Text RetainedResourceStore::describe() const {
  return formatText(
      "retained-resource-store-v1: surface={0}; state={1}; revision={2}; entries={3}; owners={4}; commands={5}; "
      "payload={6}; validations={7}; explicit-comparisons={8}; payload-comparisons={9}; admissions={10}; "
      "rejections=operation-results-only",
      {surfaceId_, state_, countText(revision_), countText(entryCount()), countText(rowCount(tables_.owners.rows())),
       countText(commandCount_), countText(payloadBytes_), countText(validationCount_),
       countText(explicitComparisonCount_), countText(payloadComparisonCount_), countText(admissionCount_)});
}

void RetainedResourceStore::clearTables() {
  tables_.clear();
  index_.clearNodes();
}

}  // namespace retained
