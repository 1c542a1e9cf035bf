#include "app/form_merge.hpp"

#include <cstddef>
#include <utility>

namespace app {

namespace {

// Whether the user changed text field i of the form.
bool userChanged(const FormBase& base, const RecordFields& asked, std::size_t i) {
  const auto member = kTextFields[i].member;
  return base.usersText[i] || asked.*member != base.fields.*member;
}

}  // namespace

RecordFields formFieldsOf(const DirectoryScreenState& state) {
  return {state.nameText, state.detailText, state.ownerText, state.selectedArchived};
}

void setFormFields(DirectoryScreenState& state, RecordFields fields) {
  state.nameText = std::move(fields.name);
  state.detailText = std::move(fields.detail);
  state.ownerText = std::move(fields.owner);
  state.selectedArchived = fields.archived;
}

TextFieldSet conflictingFields(const FormBase& base, const RecordFields& asked, const RecordFields& stored) {
  TextFieldSet fields{};
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    const auto member = kTextFields[i].member;
    fields[i] = userChanged(base, asked, i) && stored.*member != base.fields.*member && asked.*member != stored.*member;
  }
  return fields;
}

bool anyField(const TextFieldSet& fields) {
  for (const bool field : fields) {
    if (field) return true;
  }
  return false;
}

RecordFields mergedFields(const FormBase& base, const RecordFields& asked, const RecordFields& stored) {
  RecordFields merged;
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    const auto member = kTextFields[i].member;
    merged.*member = userChanged(base, asked, i) ? asked.*member : stored.*member;
  }
  merged.archived = asked.archived != base.fields.archived ? asked.archived : stored.archived;
  return merged;
}

void followStoredFields(DirectoryScreenState& state, const RecordFields& stored) {
  if (state.stored() == nullptr) return;
  RecordFields form = formFieldsOf(state);
  FormBase& base = state.stored()->base;
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    const auto member = kTextFields[i].member;
    if (form.*member == stored.*member) {
      base.usersText[i] = userChanged(base, form, i);
    } else if (userChanged(base, form, i)) {
      continue;
    }
    form.*member = stored.*member;
    base.fields.*member = stored.*member;
  }
  if (form.archived == base.fields.archived || form.archived == stored.archived) {
    form.archived = stored.archived;
    base.fields.archived = stored.archived;
  }
  setFormFields(state, std::move(form));
}

}  // namespace app
