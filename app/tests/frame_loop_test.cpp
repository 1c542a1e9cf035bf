// The frame loop on a real window: how it ends when the user closes the window.
#include "app/frame_loop.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include "app/directory_screen_state.hpp"
#include "app/directory_view.hpp"
#include "app/screen_layout.hpp"
#include "canvas/canvas.hpp"
#include "runtime/testing/temp_directory.hpp"

namespace app {
namespace {

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    view_ = std::make_unique<DirectoryView>(dir_.text());
    view_->seedDemoData();
    canvas::openWindow(runtime::Text(kWindowTitle), kWindowWidth, kWindowHeight);
    main_ = canvas::findWindow(canvas::windowRegistry().mainId);
    ASSERT_NE(main_, nullptr);
    ASSERT_TRUE(main_->open);
    hwnd_ = reinterpret_cast<HWND>(main_->window);
  }
  void TearDown() override { canvas::closeAllWindows(); }

  runtime::testing::TempDirectory dir_;
  std::unique_ptr<DirectoryView> view_;
  canvas::WindowState* main_ = nullptr;
  HWND hwnd_ = nullptr;
};

TEST_F(FrameLoop, ACloseSeenAtTheStartOfAFrameEndsTheLoop) {
  ASSERT_TRUE(PostMessageW(hwnd_, WM_CLOSE, 0, 0));
  DirectoryScreenState state;
  EXPECT_NO_THROW(runDirectoryScreen(*view_, state));
  EXPECT_FALSE(main_->open);
}

TEST_F(FrameLoop, ACloseInTheMiddleOfAFrameEndsTheLoopNormally) {
  // The pump at the start of a frame takes at most 32 messages: behind 40 others, the close is
  // handled by one of the frame's later pumps, after which its drawing finds no open window.
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(PostMessageW(hwnd_, WM_USER + 1, 0, 0));
  ASSERT_TRUE(PostMessageW(hwnd_, WM_CLOSE, 0, 0));
  DirectoryScreenState state;
  EXPECT_NO_THROW(runDirectoryScreen(*view_, state));
  EXPECT_FALSE(main_->open);
}

TEST_F(FrameLoop, AClickAndKeysThatAllCameBeforeTheFrameAreTakenInOrder) {
  // Press and release on the Customers tab, then "abc", BACKSPACE, "d", all handled by the pump
  // before the first frame; the close comes behind enough other messages to be handled within
  // that frame, after its input was taken.
  const LPARAM tab = MAKELPARAM(250, 186);
  ASSERT_TRUE(PostMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, tab));
  ASSERT_TRUE(PostMessageW(hwnd_, WM_LBUTTONUP, 0, tab));
  for (const wchar_t c : {L'a', L'b', L'c'}) ASSERT_TRUE(PostMessageW(hwnd_, WM_CHAR, c, 1));
  ASSERT_TRUE(PostMessageW(hwnd_, WM_KEYDOWN, VK_BACK, 1));
  ASSERT_TRUE(PostMessageW(hwnd_, WM_KEYUP, VK_BACK, static_cast<LPARAM>(0xC0000001)));
  ASSERT_TRUE(PostMessageW(hwnd_, WM_CHAR, L'd', 1));
  for (int i = 0; i < 64; ++i) ASSERT_TRUE(PostMessageW(hwnd_, WM_USER + 1, 0, 0));
  ASSERT_TRUE(PostMessageW(hwnd_, WM_CLOSE, 0, 0));
  DirectoryScreenState state;
  EXPECT_NO_THROW(runDirectoryScreen(*view_, state));
  EXPECT_FALSE(main_->open);
  EXPECT_EQ(state.kind, "customer");
  EXPECT_EQ(state.nameText, "abd");
}

}  // namespace
}  // namespace app
