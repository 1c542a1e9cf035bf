#include "app/screen_drawing.hpp"

#include "store/record.hpp"

namespace app {

namespace {

void titleText(DrawList& list, const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t size) {
  DrawOp op;
  op.kind = DrawOp::Kind::kTitleText;
  op.text = text;
  op.rect = Rect{x, y, 0, 0};
  op.size = size;
  list.push_back(std::move(op));
}

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

void selectRecord(DirectoryScreenState& state, const store::Record& record) {
  state.selectedId = record.id;
  state.nameText = record.content;
  state.detailText = store::recordProperty(record, "detail");
  state.ownerText = store::recordProperty(record, "owner");
  state.selectedArchived = record.lifecycle == "archival";
}

void drawRecordList(DrawList& list, DirectoryScreenState& state, const DirectoryView& view, bool click,
                    const PointerProbe& pointer) {
  std::int32_t matches = 0;
  std::int32_t rows = 0;
  for (const store::Record& record : view.database.records) {
    if (!recordMatches(record, state.kind, state.searchText)) continue;
    if (matches >= state.scroll && rows < kListRows) {
      const Rect row = listRow(rows);
      if (click && pointer(row)) selectRecord(state, record);
      drawButton(list, listRowLabel(record), row.x, row.y, row.width, record.id == state.selectedId, pointer);
      rows += 1;
    }
    matches += 1;
  }
  if (matches <= state.scroll) state.scroll = 0;
}

}  // namespace

void drawButton(DrawList& list, const runtime::Text& label, std::int32_t x, std::int32_t y, std::int32_t width,
                bool primary, const PointerProbe& pointer) {
  const bool hovered = pointer(Rect{x, y, width, kButtonHeight});
  const Rgb fill = primary ? (hovered ? kPrimaryButtonHovered : kPrimaryButton) : (hovered ? kButtonHovered : kButton);
  roundedRect(list, Rect{x, y, width, kButtonHeight}, kButtonRadius, fill);
  titleText(list, label, x + 15, y + 11, kTextSize);
}

runtime::Text listRowLabel(const store::Record& record) {
  return record.lifecycle == "archival" ? record.content + " (archived)" : record.content;
}

bool recordMatches(const store::Record& record, const runtime::Text& kind, const runtime::Text& search) {
  if (record.kind != kind) return false;
  if (search.empty()) return true;
  return record.content.find(search) != runtime::Text::npos || record.id.find(search) != runtime::Text::npos;
}

DrawList buildScreenDrawing(DirectoryScreenState& state, const DirectoryView& view, bool click,
                            const PointerProbe& pointer) {
  DrawList list;
  DrawOp begin;
  begin.kind = DrawOp::Kind::kBeginFrame;
  begin.text = runtime::Text(kHeaderTitle);
  begin.secondText = runtime::Text(kHeaderSubtitle);
  list.push_back(std::move(begin));

  drawButton(list, "Animals", kAnimalsTab.x, kAnimalsTab.y, kAnimalsTab.width, state.kind == "animal", pointer);
  drawButton(list, "Customers", kCustomersTab.x, kCustomersTab.y, kCustomersTab.width, state.kind == "customer",
             pointer);
  mutedLabel(list, "SEARCH / CASE SENSITIVE", 36, 225);
  roundedRect(list, kSearchBox, kBoxRadius, kBoxColour);
  titleText(list, state.searchText, 48, 263, kTextSize);
  drawRecordList(list, state, view, click, pointer);

  titleText(list, "Directory / " + state.kind, 392, 175, kTitleSize);
  mutedLabel(list, state.selectedId.empty() ? runtime::Text("New record") : state.selectedId, 392, 218);
  const runtime::Text* fieldTexts[3] = {&state.nameText, &state.detailText, &state.ownerText};
  for (std::int32_t i = 0; i < 3; ++i) {
    const Rect box = fieldBox(i);
    mutedLabel(list, fieldLabel(state.kind, i), box.x, box.y - 26);
    roundedRect(list, box, kBoxRadius, kBoxColour);
    titleText(list, *fieldTexts[i], box.x + 14, box.y + 12, kTextSize);
    if (state.focus == i) filledRect(list, fieldFocusLine(i), kFocusColour);
  }
  if (state.focus == kFocusSearch) filledRect(list, kSearchFocusLine, kFocusColour);

  drawButton(list, "Save", kSaveButton.x, kSaveButton.y, kSaveButton.width, true, pointer);
  drawButton(list, "New record", kNewRecordButton.x, kNewRecordButton.y, kNewRecordButton.width, false, pointer);
  drawButton(list, state.selectedArchived ? "Restore" : "Archive", kArchiveButton.x, kArchiveButton.y,
             kArchiveButton.width, false, pointer);
  titleText(list, view.status, 392, 598, kTextSize);
  mutedLabel(list, kFooterText, 36, 652);
  return list;
}

}  // namespace app
