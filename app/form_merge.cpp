#include "app/form_merge.hpp"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/screen_layout.hpp"
#include "canvas/text_runs.hpp"

namespace app {

namespace {

constexpr std::string_view kEllipsis = "...";

template <typename Value>
bool bothChanged(const Value& loaded, const Value& asked, const Value& stored) {
  return asked != loaded && stored != loaded && asked != stored;
}

// The byte offsets where the characters the window draws start (each character outside
// printable ASCII is drawn as one "?"), followed by the text's size.
std::vector<std::size_t> characterStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size();) {
    starts.push_back(i);
    const auto byte = static_cast<unsigned char>(text[i]);
    i += byte >= 0x20 && byte <= 0x7E ? 1 : canvas::unprintableSequenceLength(text, i);
  }
  starts.push_back(text.size());
  return starts;
}

// The text cut to at most `limit` drawn characters, ending in "..." when cut.
runtime::Text cutEnd(std::string_view text, std::size_t limit) {
  const std::vector<std::size_t> starts = characterStarts(text);
  if (starts.size() - 1 <= limit) return runtime::Text(text);
  const std::size_t kept = limit > kEllipsis.size() ? limit - kEllipsis.size() : 0;
  return runtime::Text(text.substr(0, starts[kept])) + runtime::Text(kEllipsis);
}

// The other window's value in at most `limit` drawn characters. One that is too long starts at the
// word where it departs from the user's text (the shared start is left out, marked "...") and is
// cut at the end.
runtime::Text shortenedValue(std::string_view value, std::string_view yours, std::size_t limit) {
  if (characterStarts(value).size() - 1 <= limit) return runtime::Text(value);
  std::size_t shared = 0;
  while (shared < value.size() && shared < yours.size() && value[shared] == yours[shared]) ++shared;
  const std::size_t space = shared == 0 ? std::string_view::npos : value.rfind(' ', shared - 1);
  const std::size_t from = space == std::string_view::npos ? 0 : space + 1;
  if (from <= kEllipsis.size()) return cutEnd(value, limit);
  return cutEnd(runtime::Text(kEllipsis) + runtime::Text(value.substr(from)), limit);
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

std::optional<runtime::Text> conflictStatus(const RecordFields& loaded, const RecordFields& asked,
                                            const RecordFields& stored) {
  const TextField* first = nullptr;
  std::size_t more = 0;
  for (const TextField& field : kTextFields) {
    if (!bothChanged(loaded.*field.member, asked.*field.member, stored.*field.member)) continue;
    if (first == nullptr) {
      first = &field;
    } else {
      ++more;
    }
  }
  if (first == nullptr) return std::nullopt;
  const runtime::Text head = "Other window: " + runtime::Text(first->word) + " \"";
  const runtime::Text tail =
      (more == 0 ? runtime::Text("\"") : "\" +" + std::to_string(more) + " more") + "; Save keeps yours";
  const std::size_t room = static_cast<std::size_t>(kStatusCharacters) - head.size() - tail.size();
  return head + shortenedValue(stored.*first->member, asked.*first->member, room) + tail;
}

RecordFields mergedFields(const RecordFields& loaded, const RecordFields& asked, const RecordFields& stored) {
  RecordFields merged;
  forEachRecordField(
      [&](auto member) { merged.*member = asked.*member != loaded.*member ? asked.*member : stored.*member; });
  return merged;
}

void followStoredFields(DirectoryScreenState& state, const RecordFields& stored) {
  RecordFields form = formFieldsOf(state);
  forEachRecordField([&](auto member) {
    if (form.*member != state.loaded.*member && form.*member != stored.*member) return;
    form.*member = stored.*member;
    state.loaded.*member = stored.*member;
  });
  setFormFields(state, std::move(form));
}

}  // namespace app
