#include "app/screen_drawing.hpp"

#include "app/record_fields.hpp"
#include "app/record_list.hpp"
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
    drawButton(list, listRowLabel(record), row.x, row.y, row.width, record.id == state.selectedId, hover);
  });
}

}  // namespace

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

DrawList buildScreenDrawing(const DirectoryScreenState& state, const DirectoryView& view, const PointerProbe& hover) {
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
  mutedLabel(list, state.selectedId.empty() ? runtime::Text("New record") : state.selectedId, kRecordIdLabel.x,
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
  titleText(list, view.status, kStatusText.x, kStatusText.y, kTextSize);
  mutedLabel(list, kFooterText, kFooter.x, kFooter.y);
  return list;
}

}  // namespace app
