#include "app/form_merge.hpp"

#include <utility>

namespace app {

namespace {

// Applies `field` to the name, detail, owner and archived members of the three records alike.
template <typename Field>
void forEachField(Field field) {
  field(&RecordFields::name);
  field(&RecordFields::detail);
  field(&RecordFields::owner);
  field(&RecordFields::archived);
}

}  // namespace

RecordFields storedFieldsOf(const store::Record& record) {
  return {record.content, store::recordProperty(record, "detail"), store::recordProperty(record, "owner"),
          record.lifecycle == "archival"};
}

RecordFields formFieldsOf(const DirectoryScreenState& state) {
  return {state.nameText, state.detailText, state.ownerText, state.selectedArchived};
}

bool fieldsConflict(const RecordFields& loaded, const RecordFields& asked, const RecordFields& stored) {
  bool conflict = false;
  forEachField([&](auto member) {
    const bool userChanged = asked.*member != loaded.*member;
    const bool storeChanged = stored.*member != loaded.*member;
    if (userChanged && storeChanged && asked.*member != stored.*member) conflict = true;
  });
  return conflict;
}

RecordFields mergedFields(const RecordFields& loaded, const RecordFields& asked, const RecordFields& stored) {
  RecordFields merged;
  forEachField([&](auto member) { merged.*member = asked.*member != loaded.*member ? asked.*member : stored.*member; });
  return merged;
}

void followStoredFields(DirectoryScreenState& state, const RecordFields& stored) {
  RecordFields form = formFieldsOf(state);
  forEachField([&](auto member) {
    if (form.*member != state.loaded.*member) return;
    form.*member = stored.*member;
    state.loaded.*member = stored.*member;
  });
  state.nameText = std::move(form.name);
  state.detailText = std::move(form.detail);
  state.ownerText = std::move(form.owner);
  state.selectedArchived = form.archived;
}

}  // namespace app
