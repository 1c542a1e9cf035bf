// Drawing on real windows checked by reading the back buffer: the background and filled shapes
// come back as the exact sRGB bytes asked for on both pixel formats; text lands in its colour; a
// translucent window is presented through a layered-window copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>
#include <vector>

#include "canvas/layered_frame.hpp"
#include "canvas/tests/window_test_support.hpp"

namespace canvas {
namespace {

using testing::WindowTest;

using Rgb = std::array<int, 3>;

// The back-buffer pixel at client (x, y), before EndFrame swaps it away.
Rgb backBufferPixel(const WindowState& w, int x, int y) {
  unsigned char rgba[4] = {};
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, w.height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  return {rgba[0], rgba[1], rgba[2]};
}

// How many pixels of a client rectangle have exactly the colour.
int countPixels(const WindowState& w, int x, int y, int width, int height, Rgb colour) {
  std::vector<unsigned char> rgba(static_cast<std::size_t>(width * height * 4));
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, w.height - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  int count = 0;
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    if (rgba[i] == colour[0] && rgba[i + 1] == colour[1] && rgba[i + 2] == colour[2]) ++count;
  }
  return count;
}

// The rightmost column of a client rectangle holding a pixel of exactly the colour, or -1.
int rightmostColumn(const WindowState& w, int x, int y, int width, int height, Rgb colour) {
  std::vector<unsigned char> rgba(static_cast<std::size_t>(width * height * 4));
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, w.height - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  int rightmost = -1;
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    if (rgba[i] == colour[0] && rgba[i + 1] == colour[1] && rgba[i + 2] == colour[2]) {
      rightmost = std::max(rightmost, x + static_cast<int>((i / 4) % static_cast<std::size_t>(width)));
    }
  }
  return rightmost;
}

void drawShapesAndCheckPixels(WindowState& w) {
  BeginFrame("Title", "Subtitle");
  DrawRectRgba(300, 200, 60, 40, 200, 100, 50);
  DrawRectRgba(400, 200, 60, 40, 1, 128, 254);
  DrawRectRgba(500, 200, 0, 40, 255, 255, 255);  // an empty quad
  DrawRoundedRectRgba(600, 200, 120, 60, 12, 90, 180, 30);
  DrawRoundedRectRgba(600, 300, 0, 60, 12, 255, 0, 0);  // nothing
  DrawTextStyled("Hello", 300, 400, 250, 250, 240, 10);
  EXPECT_EQ(backBufferPixel(w, 900, 650), (Rgb{17, 27, 34}));
  EXPECT_EQ(backBufferPixel(w, 330, 220), (Rgb{200, 100, 50}));
  EXPECT_EQ(backBufferPixel(w, 300, 200), (Rgb{200, 100, 50}));
  EXPECT_EQ(backBufferPixel(w, 359, 239), (Rgb{200, 100, 50}));
  EXPECT_EQ(backBufferPixel(w, 360, 220), (Rgb{17, 27, 34}));
  EXPECT_EQ(backBufferPixel(w, 430, 220), (Rgb{1, 128, 254}));
  EXPECT_EQ(backBufferPixel(w, 500, 220), (Rgb{17, 27, 34}));
  EXPECT_EQ(backBufferPixel(w, 660, 230), (Rgb{90, 180, 30}));
  EXPECT_EQ(backBufferPixel(w, 601, 201), (Rgb{17, 27, 34}));   // outside the rounded corner
  EXPECT_EQ(backBufferPixel(w, 660, 201), (Rgb{90, 180, 30}));  // straight top edge
  EXPECT_EQ(backBufferPixel(w, 660, 330), (Rgb{17, 27, 34}));
  EXPECT_GT(countPixels(w, 300, 400, 120, 30, Rgb{250, 240, 10}), 10);  // glyph pixels in the text colour
  EXPECT_GT(countPixels(w, 34, 25, 300, 20, Rgb{139, 169, 169}), 10);   // the muted header line
  EXPECT_GT(countPixels(w, 34, 57, 300, 40, Rgb{221, 233, 230}), 10);   // the title
  EndFrame();
}

TEST_F(WindowTest, ShapesComeBackAsTheirExactSrgbBytesOnTheStrictSrgbFormat) {
  WindowState& w = openMain();
  ASSERT_TRUE(w.srgbFramebuffer);
  drawShapesAndCheckPixels(w);
}

TEST_F(WindowTest, ShapesComeBackAsTheirExactSrgbBytesOnTheFallbackFormat) {
  testing::setPixelFormatExtensionAvailable(false);
  WindowState& w = openMain();
  ASSERT_FALSE(w.srgbFramebuffer);
  drawShapesAndCheckPixels(w);
}

TEST_F(WindowTest, ABlankBetweenWordsAdvancesTheText) {
  WindowState& w = openMain();
  BeginFrame("Title", "Subtitle");
  const Rgb ink{250, 240, 10};
  DrawTextStyled("II", 300, 400, 250, ink[0], ink[1], ink[2]);
  DrawTextStyled("I I", 300, 460, 250, ink[0], ink[1], ink[2]);
  const int joined = rightmostColumn(w, 300, 400, 200, 40, ink);
  const int spaced = rightmostColumn(w, 300, 460, 200, 40, ink);
  ASSERT_GT(joined, 300);
  EXPECT_GE(spaced, joined + 3) << "the blank drew no advance";
  EndFrame();
}

TEST_F(WindowTest, MeasuredTextIsTheAdvanceOfDrawingIt) {
  openMain();
  EXPECT_GT(measureText("W", 250), measureText("i", 250));
  EXPECT_EQ(measureText("Wi", 250), measureText("W", 250) + measureText("i", 250));
  BeginFrame("Title", "Subtitle");
  const std::pair<std::int32_t, const char*> table[] = {{150, "Wi"}, {250, "a b\xC3\xA9\t"}, {330, "Wi ?"}};
  for (const auto& [style, text] : table) {
    DrawTextStyled(text, 300, 400, style, 250, 240, 10);
    GLint raster[4] = {};
    glGetIntegerv(GL_CURRENT_RASTER_POSITION, raster);
    EXPECT_EQ(raster[0], 300 + measureText(text, style)) << style << " " << text;
  }
  EndFrame();
  closeAllWindows();
  EXPECT_EQ(measureText("W", 250), 0);
}

TEST_F(WindowTest, RectanglesAtTheEdgeOfTheCoordinateRangeStayOffScreen) {
  WindowState& w = openMain();
  constexpr std::int64_t kFar = std::numeric_limits<std::int64_t>::max() - 10;
  BeginFrame("Title", "Subtitle");
  DrawRectRgba(kFar, 150, 1000, 40, 255, 255, 255);  // its right edge lies beyond the range
  DrawRectRgba(100, kFar, 40, 1000, 255, 255, 255);  // its bottom edge too
  DrawRoundedRectRgba(kFar, 300, 1000, 40, 0, 255, 255, 255);
  EXPECT_EQ(countPixels(w, 0, 150, w.width, 40, Rgb{255, 255, 255}), 0);
  EXPECT_EQ(countPixels(w, 100, 0, 40, w.height, Rgb{255, 255, 255}), 0);
  EXPECT_EQ(countPixels(w, 0, 300, w.width, 40, Rgb{255, 255, 255}), 0);
  EndFrame();
}

TEST_F(WindowTest, ClosingAWindowDestroyedElsewhereLeavesTheOtherWindowsTextAlone) {
  WindowState& first = openMain();
  SendMessageW(first.window, WM_CLOSE, 0, 0);
  WindowState& second = openMain();
  ASSERT_NE(&first, &second);
  ASSERT_TRUE(DestroyWindow(first.window));  // not through closeWindow
  EXPECT_EQ(first.window, nullptr);
  closeWindow(first.id);
  EXPECT_EQ(first.glContext, nullptr);
  BeginFrame("Title", "Subtitle");
  DrawTextStyled("Hello", 300, 400, 250, 250, 240, 10);
  EXPECT_GT(countPixels(second, 300, 400, 120, 30, Rgb{250, 240, 10}), 10);
  EndFrame();
}

TEST_F(WindowTest, TheFrameRestoresStateThatOtherCodeChanged) {
  WindowState& w = openMain();
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 1, 1);
  BeginFrame("T", "S");
  DrawRectRgba(10, 150, 20, 20, 255, 255, 255);
  EXPECT_EQ(backBufferPixel(w, 20, 160), (Rgb{255, 255, 255}));
  EXPECT_EQ(glIsEnabled(GL_SCISSOR_TEST), GL_FALSE);
  EndFrame();
  EXPECT_EQ(glIsEnabled(GL_STENCIL_TEST), GL_FALSE);
}

TEST_F(WindowTest, ATranslucentWindowIsPresentedAsALayeredWindow) {
  WindowState& w = openMain(640, 480);
  SetWindowLongPtrW(w.window, GWL_EXSTYLE, GetWindowLongPtrW(w.window, GWL_EXSTYLE) | WS_EX_LAYERED);
  w.translucent = true;
  w.blendFuncSeparate = reinterpret_cast<void*>(wglGetProcAddress("glBlendFuncSeparate"));
  const CanvasResourceCounters before = canvasResourceCounters();
  BeginFrame("Layered", "frame");
  DrawRectRgba(0, 0, 10, 10, 200, 100, 50);
  EndFrame();
  EXPECT_TRUE(w.layeredPresented);
  EXPECT_EQ(w.layeredPresents, 1u);
  EXPECT_EQ(w.layeredWidth, 640);
  EXPECT_EQ(w.layeredHeight, 480);
  EXPECT_EQ(w.layeredSamplePixel, 0xFFC86432u);  // opaque top-left pixel, unchanged by premultiplying
  EXPECT_EQ(canvasResourceCounters().liveLayeredDibs, before.liveLayeredDibs + 1);
  EXPECT_EQ(canvasResourceCounters().layeredDibBytes, before.layeredDibBytes + std::uint64_t{640} * 480 * 4);
  void* bits = w.layeredBits;
  BeginFrame("Layered", "again");
  EndFrame();
  EXPECT_EQ(w.layeredPresents, 2u);
  EXPECT_EQ(w.layeredBits, bits);  // the DIB is kept while the size stays
  EXPECT_EQ(w.layeredSamplePixel, 0xFF111B22u);
  // Wider than 2048 pixels: not presented.
  w.width = 2049;
  BeginFrame("Layered", "too wide");
  EndFrame();
  EXPECT_FALSE(w.layeredPresented);
  EXPECT_EQ(w.layeredPresents, 2u);
  closeWindow(w.id);
  EXPECT_EQ(canvasResourceCounters().liveLayeredDibs, before.liveLayeredDibs);
  EXPECT_EQ(canvasResourceCounters().layeredDibBytes, before.layeredDibBytes);
}

// Premultiplied white at alpha 128 reaches the window manager as 128, 128, 128, 128 whichever
// pixel format the window has: only an sRGB framebuffer's values are converted.
TEST_F(WindowTest, ALayeredFrameIsPresentedAsPremultipliedSrgbOnBothPixelFormats) {
  for (const bool strict : {true, false}) {
    SCOPED_TRACE(strict ? "strict sRGB format" : "fallback format");
    testing::setPixelFormatExtensionAvailable(strict);
    WindowState& w = openMain(320, 240);
    ASSERT_EQ(w.srgbFramebuffer, strict);
    SetWindowLongPtrW(w.window, GWL_EXSTYLE, GetWindowLongPtrW(w.window, GWL_EXSTYLE) | WS_EX_LAYERED);
    w.translucent = true;
    w.blendFuncSeparate = reinterpret_cast<void*>(wglGetProcAddress("glBlendFuncSeparate"));
    BeginFrame("Layered", "half white");
    const float half = 128.0f / 255.0f;  // linear light: white at half coverage, premultiplied
    glClearColor(half, half, half, half);
    glClear(GL_COLOR_BUFFER_BIT);
    EndFrame();
    ASSERT_TRUE(w.layeredPresented);
    EXPECT_EQ(w.layeredSamplePixel, 0x80808080u);
    closeWindow(w.id);
  }
}

}  // namespace
}  // namespace canvas
