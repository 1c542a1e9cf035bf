// One frame of the directory screen as a list of drawing operations, built by pure code from the
// screen state and handed to the window runtime in one place. Drawing decides nothing: what a
// click selects is decided before, with the other input (screen_actions.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_input.hpp"
#include "app/screen_layout.hpp"
#include "runtime/text.hpp"

namespace app {

struct DrawOp {
  enum class Kind {
    kBeginFrame,   // text: title, secondText: subtitle
    kTitleText,    // text at rect.x, rect.y in the title colour; size
    kMutedLabel,   // text at rect.x, rect.y in the muted colour
    kRect,         // rect filled with colour
    kRoundedRect,  // rect with radius filled with colour
  };
  Kind kind = Kind::kRect;
  runtime::Text text;
  runtime::Text secondText;
  Rect rect;
  std::optional<Rect> clip;  // a text drawn only inside this rectangle
  std::int32_t size = 0;
  std::int32_t radius = 0;
  Rgb colour;
};

using DrawList = std::vector<DrawOp>;

// A 44-pixel-high rounded button with its label, which is clipped to the button with the same
// margin on both sides; also the tabs and the list rows. Hovering lightens its fill.
void drawButton(DrawList& list, const runtime::Text& label, std::int32_t x, std::int32_t y, std::int32_t width,
                bool primary, const PointerProbe& hover);

// The label of a list row: the record's name, marked when it is archived.
runtime::Text listRowLabel(const store::Record& record);

// The whole frame in drawing order; `hover` is where the pointer is now. Row labels and the texts
// of the fields and the search box are clipped to their boxes.
DrawList buildScreenDrawing(const DirectoryScreenState& state, const DirectoryView& view, const PointerProbe& hover);

}  // namespace app
