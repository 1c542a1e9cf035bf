#include "app/record_fields.hpp"

#include <utility>

namespace app {

namespace {

constexpr std::string_view kDetailKey = "detail";
constexpr std::string_view kOwnerKey = "owner";
constexpr std::string_view kArchivedLifecycle = "archival";
constexpr std::string_view kActiveLifecycle = "canonical";

// Sets the value of the record's first property with the key, or appends the property.
void setProperty(store::Record& record, std::string_view key, runtime::Text value) {
  for (store::Property& property : record.properties) {
    if (property.key == key) {
      property.value = std::move(value);
      return;
    }
  }
  record.properties.push_back(store::Property{runtime::Text(key), std::move(value)});
}

}  // namespace

bool isArchived(const store::Record& record) { return record.lifecycle == kArchivedLifecycle; }

RecordFields recordFieldsOf(const store::Record& record) {
  return {record.content, store::recordProperty(record, runtime::Text(kDetailKey)),
          store::recordProperty(record, runtime::Text(kOwnerKey)), isArchived(record)};
}

void setRecordFields(store::Record& record, RecordFields fields) {
  record.content = std::move(fields.name);
  setProperty(record, kDetailKey, std::move(fields.detail));
  setProperty(record, kOwnerKey, std::move(fields.owner));
  record.lifecycle = runtime::Text(fields.archived ? kArchivedLifecycle : kActiveLifecycle);
}

}  // namespace app
