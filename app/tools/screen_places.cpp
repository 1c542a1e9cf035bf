// screen-places: prints where the directory window's places are, from the constants the program
// draws and hit-tests with, so that window tests click, probe and read what the program has.
// Output, one line per place: "<name> <x> <y> <width> <height>", in client pixels of a window of
// the program's size. The names: animals, customers, search, search-focus, name, detail, owner,
// name-focus, detail-focus, owner-focus, save, new, archive, row0 ... row5, status, status2 (a
// status's second line), close.
// Exit status: 0, or 3 for a bad command line.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>

#include "app/screen_layout.hpp"
#include "canvas/window_frame.hpp"

namespace {

// A line of medium text: from 2 pixels above where it starts, 26 pixels tall (its 20-pixel
// glyphs with their descenders); as wide as the form.
constexpr std::int32_t kTextLineRise = 2;
constexpr std::int32_t kTextLineHeight = 26;

void print(std::string_view name, const app::Rect& r) {
  std::cout << name << ' ' << r.x << ' ' << r.y << ' ' << r.width << ' ' << r.height << '\n';
}

// The smallest rectangle holding every client point of the window that the frame's hit test
// takes for its close button.
app::Rect closeArea() {
  std::int32_t left = app::kWindowWidth, top = app::kWindowHeight, right = -1, bottom = -1;
  for (std::int32_t y = 0; y < app::kWindowHeight; ++y) {
    for (std::int32_t x = 0; x < app::kWindowWidth; ++x) {
      if (canvas::hitTestNonClient(app::kWindowWidth, app::kWindowHeight, true, x, y) != canvas::kHitClose) continue;
      left = std::min(left, x);
      top = std::min(top, y);
      right = std::max(right, x);
      bottom = std::max(bottom, y);
    }
  }
  return app::Rect{left, top, right - left + 1, bottom - top + 1};
}

}  // namespace

int main(int argc, char** /*argv*/) {
  if (argc != 1) {
    std::cerr << "usage: screen-places\n";
    return 3;
  }
  print("animals", app::kAnimalsTab);
  print("customers", app::kCustomersTab);
  print("search", app::kSearchBox);
  print("search-focus", app::kSearchFocusLine);
  std::int32_t field = 0;
  for (const std::string name : {"name", "detail", "owner"}) {
    print(name, app::fieldBox(field));
    print(name + "-focus", app::fieldFocusLine(field));
    ++field;
  }
  print("save", app::kSaveButton);
  print("new", app::kNewRecordButton);
  print("archive", app::kArchiveButton);
  for (std::int32_t row = 0; row < app::kListRows; ++row) print("row" + std::to_string(row), app::listRow(row));
  const app::Rect status{app::kStatusText.x, app::kStatusText.y - kTextLineRise, app::kStatusWidth, kTextLineHeight};
  print("status", status);
  print("status2", app::Rect{status.x, status.y + app::kStatusLineHeight, status.width, status.height});
  print("close", closeArea());
  std::cout.flush();
  return 0;
}
