// Where everything of the directory screen sits, in client pixels from the window's top-left
// corner, and its colours and fixed texts. The hit rectangles are the drawn rectangles.
#pragma once

#include <cstdint>
#include <string_view>

namespace app {

struct Rect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool contains(std::int32_t px, std::int32_t py) const {
    return x <= px && px < x + width && y <= py && py < y + height;
  }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Where a text starts.
struct Point {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// 8-bit sRGB channels.
struct Rgb {
  std::int32_t r = 0;
  std::int32_t g = 0;
  std::int32_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr std::int32_t kButtonHeight = 44;
inline constexpr std::int32_t kButtonRadius = 10;
inline constexpr std::int32_t kBoxRadius = 9;
inline constexpr std::int32_t kTitleSize = 160;  // the large title style
inline constexpr std::int32_t kTextSize = 100;   // the medium text style
inline constexpr std::int32_t kListRows = 6;
// How far texts start in from the left edge of their boxes.
inline constexpr std::int32_t kButtonTextInset = 15;
inline constexpr std::int32_t kFieldTextInset = 14;
inline constexpr std::int32_t kSearchTextInset = 12;
// How far texts start below the top edge of their boxes, and field labels above them.
inline constexpr std::int32_t kButtonTextDrop = 11;
inline constexpr std::int32_t kFieldTextDrop = 12;
inline constexpr std::int32_t kSearchTextDrop = 11;
inline constexpr std::int32_t kFieldLabelRise = 26;

inline constexpr Rect kAnimalsTab{35, 164, 140, kButtonHeight};
inline constexpr Rect kCustomersTab{188, 164, 150, kButtonHeight};
inline constexpr Rect kSearchBox{36, 252, 302, 42};
inline constexpr Rect kSearchFocusLine{36, 297, 302, 2};
inline constexpr Rect kSaveButton{392, 526, 140, kButtonHeight};
inline constexpr Rect kNewRecordButton{546, 526, 170, kButtonHeight};
inline constexpr Rect kArchiveButton{731, 526, 216, kButtonHeight};

// Texts placed on their own.
inline constexpr Point kSearchLabel{36, 225};
inline constexpr Point kFormTitle{392, 175};
inline constexpr Point kRecordIdLabel{392, 218};
inline constexpr Point kStatusText{392, 598};
inline constexpr Point kFooter{36, 652};
// The status ends where the form's boxes end; a status of two lines has its second line below.
inline constexpr std::int32_t kStatusWidth = 556;
inline constexpr std::int32_t kStatusLineHeight = 24;

// Form field i (0 name, 1 detail, 2 owner): its box, and the focus line under it.
inline constexpr Rect fieldBox(std::int32_t i) { return Rect{392, 258 + 89 * i, 556, 46}; }
inline constexpr Rect fieldFocusLine(std::int32_t i) { return Rect{392, 258 + 89 * i + 49, 556, 2}; }
// List row r (0..5).
inline constexpr Rect listRow(std::int32_t row) { return Rect{36, 316 + 49 * row, 302, kButtonHeight}; }

inline constexpr Rgb kBoxColour{30, 48, 53};
inline constexpr Rgb kFocusColour{119, 210, 171};
inline constexpr Rgb kPrimaryButton{48, 116, 96};
inline constexpr Rgb kPrimaryButtonHovered{60, 128, 108};
inline constexpr Rgb kButton{37, 53, 58};
inline constexpr Rgb kButtonHovered{49, 65, 70};

inline constexpr std::string_view kWindowTitle = "Oreb Inc. / Veterinary directory";
inline constexpr std::int32_t kWindowWidth = 1000;
inline constexpr std::int32_t kWindowHeight = 700;
inline constexpr std::string_view kHeaderTitle = "Oreb Inc.";
inline constexpr std::string_view kHeaderSubtitle =
    "Veterinary care / a fictional clinic, with a real persistent directory.";
inline constexpr std::string_view kFooterText =
    "Fake data only / local single-user demo / Up and Down scroll the directory";

// The label above form field i for the listed kind.
std::string_view fieldLabel(std::string_view kind, std::int32_t field);

}  // namespace app
