#include "app/screen_drawing.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "app/record_fields.hpp"
#include "app/record_list.hpp"
#include "canvas/text_runs.hpp"
#include "store/record.hpp"

namespace app {

namespace {

void titleText(DrawList& list, const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t size,
               std::optional<Rect> clip = std::nullopt) {
  DrawOp op;
  op.kind = DrawOp::Kind::kTitleText;
  op.text = text;
  op.rect = Rect{x, y, 0, 0};
  op.size = size;
  op.clip = clip;
  list.push_back(std::move(op));
}

// A box's text starts `inset` pixels in from its left edge; it ends as far in from the right.
Rect textClip(const Rect& box, std::int32_t inset) { return Rect{box.x, box.y, box.width - inset, box.height}; }

void mutedLabel(DrawList& list, std::string_view text, std::int32_t x, std::int32_t y) {
  DrawOp op;
  op.kind = DrawOp::Kind::kMutedLabel;
  op.text = runtime::Text(text);
  op.rect = Rect{x, y, 0, 0};
  list.push_back(std::move(op));
}

void filledRect(DrawList& list, const Rect& rect, Rgb colour) {
  DrawOp op;
  op.kind = DrawOp::Kind::kRect;
  op.rect = rect;
  op.colour = colour;
  list.push_back(std::move(op));
}

void roundedRect(DrawList& list, const Rect& rect, std::int32_t radius, Rgb colour) {
  DrawOp op;
  op.kind = DrawOp::Kind::kRoundedRect;
  op.rect = rect;
  op.radius = radius;
  op.colour = colour;
  list.push_back(std::move(op));
}

void drawRecordList(DrawList& list, const DirectoryScreenState& state, const DirectoryView& view,
                    const PointerProbe& hover) {
  forEachListedRecord(state, view, [&](const store::Record& record, const Rect& row) {
    drawButton(list, listRowLabel(record), row.x, row.y, row.width, record.id == state.selectedId(), hover);
  });
}

constexpr std::string_view kEllipsis = "...";

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

// The text whole when it is at most `room` pixels wide, else its longest start that is, with
// "..." after it, at whole characters.
runtime::Text cutToWidth(std::string_view text, std::int32_t room, const TextWidth& width) {
  if (width(text) <= room) return runtime::Text(text);
  const std::vector<std::size_t> starts = characterStarts(text);
  std::size_t kept = starts.size() - 1;
  while (kept > 0 && width(runtime::Text(text.substr(0, starts[kept])) + runtime::Text(kEllipsis)) > room) --kept;
  return runtime::Text(text.substr(0, starts[kept])) + runtime::Text(kEllipsis);
}

// The other window's value within `room` pixels. One that is too wide starts at the word where
// it departs from the user's text (the shared start left out, marked "...") and is cut at the end.
runtime::Text shortenedValue(std::string_view value, std::string_view yours, std::int32_t room,
                             const TextWidth& width) {
  if (width(value) <= room) return runtime::Text(value);
  std::size_t shared = 0;
  while (shared < value.size() && shared < yours.size() && value[shared] == yours[shared]) ++shared;
  const std::size_t space = shared == 0 ? std::string_view::npos : value.rfind(' ', shared - 1);
  const std::size_t from = space == std::string_view::npos ? 0 : space + 1;
  if (from <= kEllipsis.size()) return cutToWidth(value, room, width);
  return cutToWidth(runtime::Text(kEllipsis) + runtime::Text(value.substr(from)), room, width);
}

// The text's lines, split at each "\n".
std::vector<std::string_view> linesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool eachLineFits(std::string_view text, const TextWidth& width) {
  const std::vector<std::string_view> lines = linesOf(text);
  return std::all_of(lines.begin(), lines.end(), [&](std::string_view line) { return width(line) <= kStatusWidth; });
}

// The text on two lines, the first as long as fits: up to its last space that lets it fit, else
// up to the last whole character that does.
runtime::Text inTwoLines(std::string_view text, const TextWidth& width) {
  for (std::size_t space = text.rfind(' '); space != std::string_view::npos;
       space = space == 0 ? std::string_view::npos : text.rfind(' ', space - 1)) {
    if (width(text.substr(0, space)) <= kStatusWidth) {
      return runtime::Text(text.substr(0, space)) + "\n" + runtime::Text(text.substr(space + 1));
    }
  }
  const std::vector<std::size_t> starts = characterStarts(text);
  std::size_t kept = starts.size() - 1;
  while (kept > 1 && width(text.substr(0, starts[kept])) > kStatusWidth) --kept;
  return runtime::Text(text.substr(0, starts[kept])) + "\n" + runtime::Text(text.substr(starts[kept]));
}

constexpr std::string_view kSeparators = "/\\";

// The status with ever more of its path's first directories drawn as one "...": down to its last
// directory and file name, then the file name alone. The path runs from the status's first word
// that holds a "/" or "\" besides other characters to the status's end.
std::vector<runtime::Text> withShorterPaths(std::string_view status) {
  std::size_t path = 0;
  while (path < status.size()) {
    const std::size_t end = std::min(status.find(' ', path), status.size());
    if (end - path > 1 && status.substr(path, end - path).find_first_of(kSeparators) != std::string_view::npos) break;
    path = end + 1;
  }
  std::vector<runtime::Text> shorter;
  if (path >= status.size()) return shorter;
  // The path's rest from each of its separators stays; only a start longer than "..." is dropped.
  const std::size_t fileName = status.find_last_of(kSeparators);
  for (std::size_t kept = status.find_first_of(kSeparators, path); kept <= fileName;
       kept = status.find_first_of(kSeparators, kept + 1)) {
    if (kept - path > kEllipsis.size()) {
      shorter.push_back(runtime::Text(status.substr(0, path)) + runtime::Text(kEllipsis) +
                        runtime::Text(status.substr(kept)));
    }
  }
  return shorter;
}

}  // namespace

runtime::Text statusAsDrawn(std::string_view status, const TextWidth& width) {
  if (eachLineFits(status, width)) return runtime::Text(status);
  // A status that has lines of its own (a conflict status fitted by another measure) keeps them.
  runtime::Text broken(status);
  if (status.find('\n') == std::string_view::npos) {
    broken = inTwoLines(status, width);
    for (const runtime::Text& shorter : withShorterPaths(status)) {
      if (eachLineFits(broken, width)) break;
      broken = inTwoLines(shorter, width);
    }
  }
  const std::vector<std::string_view> lines = linesOf(broken);
  runtime::Text drawn = cutToWidth(lines.front(), kStatusWidth, width);
  for (std::size_t i = 1; i < lines.size(); ++i) drawn += "\n" + cutToWidth(lines[i], kStatusWidth, width);
  return drawn;
}

std::int32_t estimatedTextWidth(std::string_view text) {
  return static_cast<std::int32_t>(characterStarts(text).size() - 1) * 10;
}

runtime::Text conflictStatusText(const TextFieldSet& fields, const RecordFields& stored, const RecordFields& yours,
                                 std::string_view kind, const TextWidth& width) {
  std::size_t first = fields.size();
  std::size_t more = 0;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!fields[i]) continue;
    if (first == fields.size()) {
      first = i;
    } else {
      ++more;
    }
  }
  if (first == fields.size()) return runtime::Text(kStatusReady);
  const auto member = kTextFields[first].member;
  const runtime::Text field = "Other window: " + runtime::Text(fieldLabel(kind, static_cast<std::int32_t>(first)));
  const runtime::Text others = more == 0 ? runtime::Text() : " +" + std::to_string(more) + " more";
  const runtime::Text& value = stored.*member;
  const runtime::Text advice = "; Save keeps yours";
  runtime::Text oneLine = field + " \"" + value + "\"" + others + advice;
  if (width(oneLine) <= kStatusWidth) return oneLine;
  const std::int32_t room = kStatusWidth - width("\"\"" + advice);
  return field + others + "\n\"" + shortenedValue(value, yours.*member, room, width) + "\"" + advice;
}

void drawButton(DrawList& list, const runtime::Text& label, std::int32_t x, std::int32_t y, std::int32_t width,
                bool primary, const PointerProbe& hover) {
  const Rect box{x, y, width, kButtonHeight};
  const bool hovered = hover(box);
  const Rgb fill = primary ? (hovered ? kPrimaryButtonHovered : kPrimaryButton) : (hovered ? kButtonHovered : kButton);
  roundedRect(list, box, kButtonRadius, fill);
  titleText(list, label, x + kButtonTextInset, y + kButtonTextDrop, kTextSize, textClip(box, kButtonTextInset));
}

runtime::Text listRowLabel(const store::Record& record) {
  return isArchived(record) ? record.content + " (archived)" : record.content;
}

DrawList buildScreenDrawing(const DirectoryScreenState& state, const DirectoryView& view, const PointerProbe& hover,
                            const TextWidth& width) {
  DrawList list;
  DrawOp begin;
  begin.kind = DrawOp::Kind::kBeginFrame;
  begin.text = runtime::Text(kHeaderTitle);
  begin.secondText = runtime::Text(kHeaderSubtitle);
  list.push_back(std::move(begin));

  drawButton(list, "Animals", kAnimalsTab.x, kAnimalsTab.y, kAnimalsTab.width, state.kind == "animal", hover);
  drawButton(list, "Customers", kCustomersTab.x, kCustomersTab.y, kCustomersTab.width, state.kind == "customer", hover);
  mutedLabel(list, "SEARCH / CASE SENSITIVE", kSearchLabel.x, kSearchLabel.y);
  roundedRect(list, kSearchBox, kBoxRadius, kBoxColour);
  titleText(list, state.searchText, kSearchBox.x + kSearchTextInset, kSearchBox.y + kSearchTextDrop, kTextSize,
            textClip(kSearchBox, kSearchTextInset));
  drawRecordList(list, state, view, hover);

  titleText(list, "Directory / " + state.kind, kFormTitle.x, kFormTitle.y, kTitleSize);
  mutedLabel(list, state.selectedId().empty() ? runtime::Text("New record") : state.selectedId(), kRecordIdLabel.x,
             kRecordIdLabel.y);
  const runtime::Text* fieldTexts[3] = {&state.nameText, &state.detailText, &state.ownerText};
  for (std::int32_t i = 0; i < 3; ++i) {
    const Rect box = fieldBox(i);
    mutedLabel(list, fieldLabel(state.kind, i), box.x, box.y - kFieldLabelRise);
    roundedRect(list, box, kBoxRadius, kBoxColour);
    titleText(list, *fieldTexts[i], box.x + kFieldTextInset, box.y + kFieldTextDrop, kTextSize,
              textClip(box, kFieldTextInset));
    if (state.focus == i) filledRect(list, fieldFocusLine(i), kFocusColour);
  }
  if (state.focus == kFocusSearch) filledRect(list, kSearchFocusLine, kFocusColour);

  drawButton(list, "Save", kSaveButton.x, kSaveButton.y, kSaveButton.width, true, hover);
  drawButton(list, "New record", kNewRecordButton.x, kNewRecordButton.y, kNewRecordButton.width, false, hover);
  drawButton(list, state.selectedArchived ? "Restore" : "Archive", kArchiveButton.x, kArchiveButton.y,
             kArchiveButton.width, false, hover);
  std::int32_t statusY = kStatusText.y;
  const runtime::Text status = statusAsDrawn(view.status(), width);
  for (const std::string_view line : linesOf(status)) {
    titleText(list, runtime::Text(line), kStatusText.x, statusY, kTextSize);
    statusY += kStatusLineHeight;
  }
  mutedLabel(list, kFooterText, kFooter.x, kFooter.y);
  return list;
}

}  // namespace app
