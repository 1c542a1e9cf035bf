// Opening and closing real windows, the registry around them and the "window.canvas" errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "canvas/tests/window_test_support.hpp"

namespace canvas {
namespace {

using testing::thrownText;
using testing::WindowTest;

constexpr char kNotOpenFor[] = "window.canvas: window/canvas runtime window is not open for ";

void expectEveryOperationThrowsNotOpen() {
  EXPECT_EQ(thrownText([] { BeginFrame("t", "s"); }), std::string(kNotOpenFor) + "BeginFrame");
  EXPECT_EQ(thrownText([] { DrawTextStyled("x", 1, 2, 150, 1, 2, 3); }), std::string(kNotOpenFor) + "DrawTextStyled");
// windows.h's DrawText macro is set aside for canvas::DrawText.
#pragma push_macro("DrawText")
#undef DrawText
  EXPECT_EQ(thrownText([] { DrawText("x", 1, 2, 150, 1, 2, 3); }), std::string(kNotOpenFor) + "DrawTextStyled");
#pragma pop_macro("DrawText")
  EXPECT_EQ(thrownText([] { DrawRectRgba(0, 0, 5, 5, 1, 2, 3); }), std::string(kNotOpenFor) + "DrawRectRgba");
  EXPECT_EQ(thrownText([] { DrawRoundedRectRgba(0, 0, 5, 5, 2, 1, 2, 3); }),
            std::string(kNotOpenFor) + "DrawRoundedRectRgba");
  EXPECT_EQ(thrownText([] { EndFrame(); }), std::string(kNotOpenFor) + "EndFrame");
  EXPECT_EQ(thrownText([] { MouseX(); }), std::string(kNotOpenFor) + "MouseX");
  EXPECT_EQ(thrownText([] { MouseY(); }), std::string(kNotOpenFor) + "MouseY");
  EXPECT_EQ(thrownText([] { isMouseOver(0, 0, 10, 10); }), std::string(kNotOpenFor) + "MouseX");
  EXPECT_FALSE(keyPressed("TAB"));
  EXPECT_FALSE(mouseButtonDown("LEFT"));
}

TEST_F(WindowTest, BeforeAnyWindowEveryOperationThrowsTheWindowCanvasError) {
  EXPECT_EQ(currentWindow(), nullptr);
  expectEveryOperationThrowsNotOpen();
  try {
    EndFrame();
  } catch (const runtime::vusk_runtime_exception& e) {
    EXPECT_EQ(e.error().code, "window.canvas");
    EXPECT_EQ(e.error().provider, "vusk_window_input_canvas");
  }
  EXPECT_TRUE(windowRegistry().windows.empty());
}

TEST_F(WindowTest, OpenedWindowIsRegisteredShownAndSizedAsAsked) {
  const std::int32_t id = windowRegistry().nextId;
  WindowState& w = openMain(1000, 700);
  EXPECT_EQ(w.id, id);
  EXPECT_EQ(windowRegistry().nextId, id + 1);
  EXPECT_EQ(windowRegistry().mainId, id);
  EXPECT_EQ(windowRegistry().currentId, id);
  EXPECT_TRUE(w.open);
  EXPECT_TRUE(w.visible);
  EXPECT_TRUE(IsWindowVisible(w.window));
  RECT client;
  ASSERT_TRUE(GetClientRect(w.window, &client));
  EXPECT_EQ(client.right, 1000);
  EXPECT_EQ(client.bottom, 700);
  EXPECT_EQ(w.width, 1000);
  EXPECT_EQ(w.height, 700);
  wchar_t className[64] = {};
  GetClassNameW(w.window, className, 64);
  EXPECT_STREQ(className, L"mivo_window_input_canvas_window");
  wchar_t title[64] = {};
  GetWindowTextW(w.window, title, 64);
  EXPECT_STREQ(title, L"canvas test window");
  EXPECT_EQ(w.dpiPercent, 100u);
  EXPECT_EQ(w.monitorNumber, 1u);
  EXPECT_TRUE(w.captionButtons);
  EXPECT_TRUE(w.customFrame);
  EXPECT_EQ(w.ownerId, 0);
  for (int slot = 0; slot < kFontSlotCount; ++slot) {
    EXPECT_NE(w.fonts[slot].font, nullptr) << slot;
    EXPECT_NE(w.fonts[slot].listBase, 0u) << slot;
  }
  EXPECT_EQ(wglGetCurrentContext(), w.glContext);
  EXPECT_TRUE(isRuntimeWindowForeground());
}

TEST_F(WindowTest, ClosedWindowStaysInTheRegistryAndClosingTwiceIsHarmless) {
  WindowState& w = openMain();
  const std::int32_t id = w.id;
  const std::size_t known = windowRegistry().windows.size();
  HWND handle = w.window;
  closeWindow(id);
  WindowState* closed = findWindow(id);
  ASSERT_NE(closed, nullptr);
  EXPECT_FALSE(closed->open);
  EXPECT_EQ(closed->window, nullptr);
  EXPECT_EQ(closed->deviceContext, nullptr);
  EXPECT_EQ(closed->glContext, nullptr);
  EXPECT_EQ(closed->width, 0);
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(currentWindow(), nullptr);
  EXPECT_EQ(windowRegistry().currentId, 0);
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  closeWindow(id);
  closeWindow(42);
  EXPECT_EQ(windowRegistry().windows.size(), known);
  expectEveryOperationThrowsNotOpen();
}

TEST_F(WindowTest, ClosingAllWindowsClosesEveryWindowAndClearsTheIds) {
  WindowState& w = openMain();
  closeAllWindows();
  EXPECT_EQ(windowRegistry().mainId, 0);
  EXPECT_EQ(windowRegistry().currentId, 0);
  EXPECT_EQ(w.window, nullptr);
  EXPECT_FALSE(w.open);
}

TEST_F(WindowTest, ASecondOpenWhileTheMainWindowIsOpenCreatesNothing) {
  WindowState& w = openMain();
  const std::size_t known = windowRegistry().windows.size();
  windowRegistry().currentId = 0;
  openWindow("another", 300, 200);
  EXPECT_EQ(windowRegistry().windows.size(), known);
  EXPECT_EQ(windowRegistry().nextId, w.id + 1);
  EXPECT_EQ(windowRegistry().currentId, w.id);
}

TEST_F(WindowTest, TinySizesGiveAtLeastOnePixelAndABadTitleGivesAnEmptyOne) {
  openWindow("\xC3\x28 bad", 0, -5);
  WindowState* w = currentWindow();
  ASSERT_NE(w, nullptr);
  // The system may widen a window below its minimum tracking size; the state follows the real client.
  RECT client;
  ASSERT_TRUE(GetClientRect(w->window, &client));
  EXPECT_GE(w->width, 1);
  EXPECT_GE(w->height, 1);
  EXPECT_EQ(w->width, std::max<LONG>(client.right, 1));
  EXPECT_EQ(w->height, std::max<LONG>(client.bottom, 1));
  EXPECT_EQ(GetWindowTextLengthW(w->window), 0);
}

TEST_F(WindowTest, StrictSrgbFormatIsChosenAndVerifiedWhereTheDriverHasOne) {
  WindowState& w = openMain();
  EXPECT_TRUE(w.strictSrgbFormat);
  EXPECT_TRUE(w.srgbFramebuffer);
  EXPECT_EQ(glIsEnabled(GL_FRAMEBUFFER_SRGB), GL_TRUE);
  EXPECT_TRUE(isStrictSrgbPixelFormat(w.deviceContext, GetPixelFormat(w.deviceContext)));
  EXPECT_FALSE(isStrictSrgbPixelFormat(w.deviceContext, 0));
  EXPECT_FALSE(isStrictSrgbPixelFormat(nullptr, 1));
}

TEST_F(WindowTest, WithoutThePixelFormatExtensionTheWindowOpensOnTheFallbackFormat) {
  testing::setPixelFormatExtensionAvailable(false);
  WindowState& w = openMain();
  EXPECT_TRUE(w.open);
  EXPECT_FALSE(w.strictSrgbFormat);
  EXPECT_FALSE(w.srgbFramebuffer);
  EXPECT_EQ(glIsEnabled(GL_FRAMEBUFFER_SRGB), GL_FALSE);
  PIXELFORMATDESCRIPTOR pfd{};
  ASSERT_NE(DescribePixelFormat(w.deviceContext, GetPixelFormat(w.deviceContext), sizeof(pfd), &pfd), 0);
  EXPECT_TRUE(pfd.dwFlags & PFD_DOUBLEBUFFER);
  EXPECT_GE(pfd.cColorBits, 24);
  EXPECT_GE(pfd.cStencilBits, 8);
}

TEST_F(WindowTest, AWindowThatCannotBeCreatedThrowsAndConsumesNoId) {
  registerWindowClasses();
  const HINSTANCE module = GetModuleHandleW(nullptr);
  ASSERT_TRUE(UnregisterClassW(kWindowClassName, module));
  const std::int32_t nextId = windowRegistry().nextId;
  const std::size_t known = windowRegistry().windows.size();
  EXPECT_EQ(thrownText([] { openWindow("no class", 300, 200); }),
            "window.canvas: failed to create window/canvas window");
  EXPECT_EQ(windowRegistry().nextId, nextId);
  EXPECT_EQ(windowRegistry().windows.size(), known);
  // Put the class back for the cases that follow in this process.
  WNDCLASSW windowClass{};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = CreateSolidBrush(RGB(10, 11, 13));
  windowClass.lpszClassName = kWindowClassName;
  ASSERT_NE(RegisterClassW(&windowClass), 0);
  EXPECT_EQ(openMain().id, nextId);
}

TEST_F(WindowTest, IdsRiseAndSixteenWindowsAreTheLimitOfTheProcess) {
  // Uses up the process's windows, so it comes last (ctest runs each case in its own process anyway).
  for (std::int32_t expected = windowRegistry().nextId; expected <= 16; ++expected) {
    openWindow("window " + std::to_string(expected), 200, 150);
    WindowState* w = currentWindow();
    ASSERT_NE(w, nullptr) << expected;
    EXPECT_EQ(w->id, expected);
    closeWindow(expected);
  }
  const std::vector<std::int32_t> ids = collectWindowIds();
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(ids.back(), 16);
  for (std::size_t i = 1; i < ids.size(); ++i) EXPECT_LT(ids[i - 1], ids[i]);
  openWindow("seventeenth", 200, 150);  // does nothing and raises nothing
  EXPECT_EQ(windowRegistry().windows.size(), 16u);
  EXPECT_EQ(windowRegistry().nextId, 17);
  EXPECT_EQ(currentWindow(), nullptr);
  for (std::int32_t id : collectWindowIds()) EXPECT_FALSE(findWindow(id)->open);
}

}  // namespace
}  // namespace canvas
