// One frame of the directory screen as a list of drawing operations, built by pure code from the
// screen state and handed to the window runtime in one place. Drawing decides nothing: what a
// click selects is decided before, with the other input (screen_actions.hpp).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
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

// The width in pixels of a text drawn in the status's style.
using TextWidth = std::function<std::int32_t(std::string_view)>;
// Ten pixels a drawn character: the width where no window measures (tests, the self-test).
std::int32_t estimatedTextWidth(std::string_view text);

// The status of a save stopped because another window saved other values into fields the user
// changed: the first such field by the label drawn above it for the kind, how many more there
// are, the value the other window saved and the advice. It is one line when it fits the status's
// width (kStatusWidth), else two: the field, then the value and the advice. Only the value is
// shortened to fit: a long one starts at the word where it departs from the user's text (the
// shared start left out, marked "...") and is cut with "..." at the end.
runtime::Text conflictStatusText(const TextFieldSet& fields, const RecordFields& stored, const RecordFields& yours,
                                 std::string_view kind, const TextWidth& width);

// The status as it is drawn, each line within the status's width (kStatusWidth) as `width`
// measures it. One whose lines all fit is drawn as it is (a conflict status is already fitted);
// a longer one is drawn on two lines, broken at the last space that lets the first line fit (at
// a character where no space does). A path it holds, which runs from its first word with a "/"
// or "\" to its end, has as few of its first directories as make the lines fit drawn as one
// "...": its last directory stays unless it alone is too wide, its file name always. A line that
// still does not fit is cut with "..." at the end.
runtime::Text statusAsDrawn(std::string_view status, const TextWidth& width);

// The whole frame in drawing order; `hover` is where the pointer is now and `width` measures the
// status. Row labels and the texts of the fields and the search box are clipped to their boxes; a
// status's lines (statusAsDrawn) are drawn one below the other.
DrawList buildScreenDrawing(const DirectoryScreenState& state, const DirectoryView& view, const PointerProbe& hover,
                            const TextWidth& width = estimatedTextWidth);

}  // namespace app
