// The window procedure on a real window, driven with SendMessageW and SendInput: banked keys, focus
// loss, typed text and surrogates, file drops, close requests, the frame's hit test and caption
// buttons, the wheel, drag resizing, the mouse position and the accessibility request.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "canvas/pointer_input.hpp"
#include "canvas/tests/window_test_support.hpp"
#include "canvas/uia_bridge.hpp"
// After windows.h (through the support header): DROPFILES.
#include <shlobj.h>

namespace canvas {
namespace {

using testing::thrownText;
using testing::WindowTest;

LPARAM packPoint(int x, int y) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | (x & 0xFFFF));
}

void sendKey(HWND window, WPARAM key, bool down, bool repeat = false) {
  const LPARAM flags = down ? (repeat ? 0x40000001 : 0x00000001) : static_cast<LPARAM>(0xC0000001);
  SendMessageW(window, down ? WM_KEYDOWN : WM_KEYUP, key, flags);
}

void sendInputKey(WORD key, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof(INPUT));
}

void sendInputUnicode(WORD unit) {
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wScan = inputs[1].ki.wScan = unit;
  inputs[0].ki.dwFlags = KEYEVENTF_UNICODE;
  inputs[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

// Pumps until `done` holds or about a second has passed (input sent through the system arrives
// asynchronously).
template <typename Condition>
bool pumpUntil(Condition&& done) {
  for (int i = 0; i < 100; ++i) {
    pumpMessages();
    if (done()) return true;
    Sleep(10);
  }
  return false;
}

// A drop handle as the shell makes it: DROPFILES followed by the wide names, double-NUL ended.
HDROP makeDrop(const std::vector<std::wstring>& names) {
  std::size_t chars = 1;
  for (const std::wstring& name : names) chars += name.size() + 1;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
  for (const std::wstring& name : names) {
    std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    out += name.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

POINT clientToScreen(HWND window, int x, int y) {
  POINT p{x, y};
  ClientToScreen(window, &p);
  return p;
}

TEST_F(WindowTest, KeyPressesAreBankedAndTakenOneByOne) {
  WindowState& w = openMain();
  ASSERT_TRUE(w.focused);
  ASSERT_EQ(GetForegroundWindow(), w.window);
  sendKey(w.window, VK_TAB, true);
  sendKey(w.window, VK_TAB, true, true);  // auto-repeat adds nothing
  sendKey(w.window, VK_TAB, false);
  sendKey(w.window, VK_TAB, true);
  sendKey(w.window, VK_TAB, false);
  EXPECT_TRUE(keyPressed("TAB"));
  EXPECT_TRUE(keyPressed("tab"));
  EXPECT_FALSE(keyPressed("TAB"));
  EXPECT_FALSE(keyPressed("NOSUCHKEY"));
  SendMessageW(w.window, WM_SYSKEYDOWN, VK_MENU, 0x20000001);  // system keys are banked too
  SendMessageW(w.window, WM_SYSKEYUP, VK_MENU, static_cast<LPARAM>(0xC0000001));
  EXPECT_FALSE(keyPressed("ALT"));  // no name for it, but the bank has it
  EXPECT_EQ(w.pendingPresses[VK_MENU], 1);
  EXPECT_EQ(w.modifierMask, 0u);
  EXPECT_TRUE(w.open);
}

TEST_F(WindowTest, AltF4AsksToCloseAndOnlyHidesTheWindow) {
  WindowState& w = openMain();
  SendMessageW(w.window, WM_SYSKEYDOWN, VK_MENU, 0x20000001);
  SendMessageW(w.window, WM_SYSKEYDOWN, VK_F4, 0x20000001);
  EXPECT_TRUE(pumpUntil([&] { return !w.open; }));
  EXPECT_TRUE(w.closeRequested);
  EXPECT_TRUE(IsWindow(w.window));
  EXPECT_FALSE(IsWindowVisible(w.window));
}

TEST_F(WindowTest, KeysTypedThroughTheSystemArriveAsPressesAndText) {
  WindowState& w = openMain();
  sendInputKey(VK_DOWN, true);
  sendInputKey(VK_DOWN, false);
  EXPECT_TRUE(pumpUntil([&] { return w.pendingPresses[VK_DOWN] > 0; }));
  EXPECT_TRUE(keyPressed("DOWN"));
  EXPECT_FALSE(keyPressed("DOWN"));
  sendInputUnicode(0x00E9);
  sendInputUnicode(0xD83D);
  sendInputUnicode(0xDE00);
  EXPECT_TRUE(pumpUntil([&] { return w.typedText.size() >= 6; }));
  EXPECT_EQ(takeTypedText(), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(w.typedText, "");
}

TEST_F(WindowTest, FocusLossDropsBankedPressesAndTheComposition) {
  WindowState& w = openMain();
  sendKey(w.window, VK_ESCAPE, true);
  SendMessageW(w.window, WM_IME_STARTCOMPOSITION, 0, 0);
  w.composition = "abc";
  EXPECT_TRUE(w.composing);
  SendMessageW(w.window, WM_KILLFOCUS, 0, 0);
  EXPECT_FALSE(w.focused);
  EXPECT_FALSE(w.composing);
  EXPECT_EQ(w.composition, "");
  EXPECT_EQ(w.pendingPresses[VK_ESCAPE], 0);
  SendMessageW(w.window, WM_SETFOCUS, 0, 0);
  EXPECT_FALSE(keyPressed("ESCAPE"));
  sendKey(w.window, VK_ESCAPE, true);
  SendMessageW(w.window, WM_KILLFOCUS, 0, 0);  // banked, then focus lost before the frame asked
  SendMessageW(w.window, WM_SETFOCUS, 0, 0);
  EXPECT_FALSE(keyPressed("ESCAPE"));
}

TEST_F(WindowTest, TypedCharactersJoinSurrogatesAndSkipControlCharacters) {
  WindowState& w = openMain();
  for (WPARAM unit : {WPARAM{'H'}, WPARAM{'i'}, WPARAM{'\r'}, WPARAM{'\t'}, WPARAM{0x08}, WPARAM{0xD83D},
                      WPARAM{0xDE00}, WPARAM{0xDC00}, WPARAM{0xD800}, WPARAM{'!'}}) {
    SendMessageW(w.window, WM_CHAR, unit, 1);
  }
  SendMessageW(w.window, WM_CHAR, 0x1D83D, 1);  // no UTF-16 unit: not cut down to one
  EXPECT_EQ(SendMessageW(w.window, WM_UNICHAR, UNICODE_NOCHAR, 0), 1);
  SendMessageW(w.window, WM_UNICHAR, 0x1F642, 0);
  SendMessageW(w.window, WM_UNICHAR, 0x100000041, 0);  // above the code-point range
  EXPECT_EQ(takeTypedText(), "Hi\xF0\x9F\x98\x80!\xF0\x9F\x99\x82");
  EXPECT_EQ(w.typedCount, 5u);
  EXPECT_EQ(takeTypedText(), "");
}

TEST_F(WindowTest, DroppedFilesAreCountedAndASingleOneKeepsItsPath) {
  WindowState& w = openMain();
  SendMessageW(w.window, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({L"C:\\pets\\r\u00e9x.txt"})), 0);
  EXPECT_EQ(w.droppedPath, "C:\\pets\\r\xC3\xA9x.txt");
  EXPECT_EQ(w.payloadA, 1u);
  EXPECT_EQ(w.payloadB, 1u);
  EXPECT_EQ(w.lastEventCode, 210u);
  SendMessageW(w.window, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop({L"C:\\a.txt", L"C:\\b.txt"})), 0);
  EXPECT_EQ(w.droppedPath, "");
  EXPECT_EQ(w.payloadA, 0u);
  EXPECT_EQ(w.payloadB, 2u);
}

TEST_F(WindowTest, ACloseRequestOnlyHidesTheWindowUntilItIsClosed) {
  WindowState& w = openMain();
  HWND handle = w.window;
  sendKey(handle, VK_TAB, true);
  SendMessageW(handle, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(handle));
  EXPECT_FALSE(IsWindowVisible(handle));
  EXPECT_FALSE(w.open);
  EXPECT_FALSE(w.visible);
  EXPECT_TRUE(w.closeRequested);
  EXPECT_EQ(w.pendingPresses[VK_TAB], 0);
  EXPECT_EQ(currentWindow(), nullptr);
  EXPECT_EQ(thrownText([] { BeginFrame("a", "b"); }),
            "window.canvas: window/canvas runtime window is not open for BeginFrame");
  closeWindow(w.id);
  EXPECT_FALSE(IsWindow(handle));
}

TEST_F(WindowTest, CaptionButtonsActOnlyWhenPressedAndReleasedOnThem) {
  WindowState& w = openMain();
  const LPARAM close = packPoint(w.width - 20, 20);
  const LPARAM maximise = packPoint(w.width - 60, 20);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, close);
  SendMessageW(w.window, WM_LBUTTONUP, 0, maximise);
  EXPECT_TRUE(w.open);
  EXPECT_FALSE(IsZoomed(w.window));
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, packPoint(300, 300));
  SendMessageW(w.window, WM_LBUTTONUP, 0, close);  // released on close, pressed elsewhere
  EXPECT_TRUE(w.open);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, maximise);
  SendMessageW(w.window, WM_LBUTTONUP, 0, maximise);
  EXPECT_TRUE(IsZoomed(w.window));
  EXPECT_TRUE(pumpUntil([&] { return w.width > 1000; }));  // the state follows WM_SIZE
  const LPARAM restore = packPoint(w.width - 60, 20);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, restore);
  SendMessageW(w.window, WM_LBUTTONUP, 0, restore);
  EXPECT_FALSE(IsZoomed(w.window));
  EXPECT_TRUE(pumpUntil([&] { return w.width == 1000; }));
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, close);
  EXPECT_EQ(w.pointer.pressure, 1000u);
  EXPECT_EQ(w.press.x, w.width - 20);
  SendMessageW(w.window, WM_LBUTTONUP, 0, close);
  EXPECT_FALSE(w.open);
  EXPECT_TRUE(w.closeRequested);
  EXPECT_TRUE(IsWindow(w.window));
}

TEST_F(WindowTest, TheMinimiseButtonMinimisesTheWindow) {
  WindowState& w = openMain();
  const LPARAM minimise = packPoint(w.width - 100, 20);
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, minimise);
  SendMessageW(w.window, WM_LBUTTONUP, 0, minimise);
  EXPECT_TRUE(IsIconic(w.window));
  EXPECT_TRUE(pumpUntil([&] { return w.minimized; }));
  EXPECT_TRUE(w.open);
  EXPECT_GE(w.width, 1);
}

TEST_F(WindowTest, HitTestUsesTheFrameInsideTheClientAreaAndTheSystemOutside) {
  WindowState& w = openMain();
  const auto hitAt = [&](int x, int y) {
    const POINT p = clientToScreen(w.window, x, y);
    return SendMessageW(w.window, WM_NCHITTEST, 0, packPoint(p.x, p.y));
  };
  EXPECT_EQ(hitAt(100, 20), HTCAPTION);
  EXPECT_EQ(hitAt(300, 300), HTCLIENT);
  EXPECT_EQ(hitAt(w.width - 20, 20), HTCLIENT);  // the close button is handled on release
  EXPECT_EQ(hitAt(2, 300), HTCLIENT);            // the edge is resized by hand
  RECT frame;
  GetWindowRect(w.window, &frame);
  const POINT clientOrigin = clientToScreen(w.window, 0, 0);
  ASSERT_GT(clientOrigin.y, frame.top);  // the window has the system's own title bar above the client area
  // A point of that title bar: answered as DefWindowProcW answers it.
  const LPARAM titleBar = packPoint(frame.left + 100, frame.top + (clientOrigin.y - frame.top) / 2);
  EXPECT_EQ(SendMessageW(w.window, WM_NCHITTEST, 0, titleBar), DefWindowProcW(w.window, WM_NCHITTEST, 0, titleBar));
  EXPECT_EQ(SendMessageW(w.window, WM_NCHITTEST, 0, titleBar), HTCAPTION);
  // The system's close button in that title bar works again.
  const LPARAM outsideBelow = packPoint(frame.left + 100, frame.bottom + 50);
  EXPECT_EQ(SendMessageW(w.window, WM_NCHITTEST, 0, outsideBelow), HTNOWHERE);
}

TEST_F(WindowTest, WheelPointsAreConvertedFromTheScreen) {
  WindowState& w = openMain();
  const POINT p = clientToScreen(w.window, 30, 40);
  SendMessageW(w.window, WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<std::uint16_t>(-120)) << 16,
               packPoint(p.x, p.y));
  EXPECT_EQ(w.pointer.x, 30);
  EXPECT_EQ(w.pointer.y, 40);
  EXPECT_EQ(w.pointer.rawX, p.x);
  EXPECT_EQ(w.pointer.wheelDelta, -120);
  EXPECT_EQ(w.lastEventCode, 203u);
  SendMessageW(w.window, WM_MOUSEMOVE, 0, packPoint(7, 9));
  EXPECT_EQ(w.pointer.x, 7);
  EXPECT_EQ(w.lastEventCode, 200u);
}

TEST_F(WindowTest, DraggingTheRightEdgeResizesAndKeepsTheMinimumWidth) {
  WindowState& w = openMain(800, 600);
  RECT before;
  GetWindowRect(w.window, &before);
  const POINT edge = clientToScreen(w.window, w.width - 3, 300);
  ASSERT_TRUE(SetCursorPos(edge.x, edge.y));
  SendMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, packPoint(w.width - 3, 300));
  ASSERT_TRUE(w.resizing);
  EXPECT_EQ(w.resizeHit, HTRIGHT);
  ASSERT_TRUE(SetCursorPos(edge.x + 40, edge.y));
  SendMessageW(w.window, WM_MOUSEMOVE, MK_LBUTTON, packPoint(w.width + 37, 300));
  RECT after;
  GetWindowRect(w.window, &after);
  EXPECT_EQ(after.right - after.left, before.right - before.left + 40);
  ASSERT_TRUE(SetCursorPos(edge.x - 2000, edge.y));
  SendMessageW(w.window, WM_MOUSEMOVE, MK_LBUTTON, packPoint(0, 300));
  GetWindowRect(w.window, &after);
  EXPECT_EQ(after.right - after.left, 320);
  EXPECT_EQ(after.left, before.left);
  SendMessageW(w.window, WM_LBUTTONUP, 0, packPoint(10, 300));
  EXPECT_FALSE(w.resizing);
}

TEST_F(WindowTest, MousePositionAndButtonsFollowTheCursor) {
  WindowState& w = openMain();
  // Below the caption band: a real press in the band would start the system's window move.
  const POINT p = clientToScreen(w.window, 123, 245);
  ASSERT_TRUE(SetCursorPos(p.x, p.y));
  EXPECT_EQ(MouseX(), 123);
  EXPECT_EQ(MouseY(), 245);
  EXPECT_TRUE(isMouseOver(100, 240, 30, 10));
  EXPECT_FALSE(isMouseOver(100, 240, 23, 10));
  EXPECT_FALSE(isMouseOver(123, 245, 0, 10));
  const POINT outside = clientToScreen(w.window, w.width + 20, 245);
  ASSERT_TRUE(SetCursorPos(outside.x, outside.y));
  EXPECT_EQ(MouseX(), w.width + 20);  // not limited to the client area
  ASSERT_TRUE(SetCursorPos(p.x, p.y));
  EXPECT_FALSE(mouseButtonDown("nosuchbutton"));
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &input, sizeof(INPUT));
  EXPECT_TRUE(pumpUntil([&] { return w.lastEventCode == 201u; }));
  EXPECT_TRUE(mouseButtonDown("LEFT"));
  EXPECT_EQ(w.press.x, 123);
  EXPECT_EQ(w.press.y, 245);
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof(INPUT));
  EXPECT_TRUE(pumpUntil([&] { return w.lastEventCode == 202u; }));
  EXPECT_FALSE(mouseButtonDown("left"));
}

TEST_F(WindowTest, AccessibilityRequestsAreCountedAndPassedOnWithoutLoadingAnyLibrary) {
  WindowState& w = openMain();
  UiaBridgeState& uia = uiaState();
  const std::uint64_t before = uia.requestCount;
  const LRESULT root = SendMessageW(w.window, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<DWORD>(-25)));
  EXPECT_EQ(root, DefWindowProcW(w.window, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<DWORD>(-25))));
  SendMessageW(w.window, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  EXPECT_EQ(uia.requestCount, before + 2);
  EXPECT_EQ(uia.served, 0u);
  EXPECT_FALSE(uia.loaded);
  EXPECT_EQ(GetModuleHandleA("UIAutomationCore.dll"), nullptr);
}

TEST_F(WindowTest, SessionPowerAndCaptureMessagesAreRecordedAndAnswered) {
  WindowState& w = openMain();
  const std::uint64_t before = sessionEvent.count;
  EXPECT_EQ(SendMessageW(w.window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
  EXPECT_EQ(sessionEvent.kind, 4u);
  EXPECT_EQ(sessionEvent.param, static_cast<std::uint64_t>(ENDSESSION_LOGOFF));
  EXPECT_EQ(sessionEvent.windowId, static_cast<std::uint64_t>(w.id));
  EXPECT_EQ(SendMessageW(w.window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0), 1);
  EXPECT_EQ(sessionEvent.kind, 2u);
  EXPECT_EQ(sessionEvent.flag, 0u);
  SendMessageW(w.window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_EQ(sessionEvent.flag, 1u);
  EXPECT_EQ(SendMessageW(w.window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0), 0);
  EXPECT_EQ(sessionEvent.kind, 3u);
  EXPECT_EQ(sessionEvent.flag, 0u);
  SendMessageW(w.window, WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(sessionEvent.kind, 5u);
  EXPECT_EQ(sessionEvent.flag, 1u);
  EXPECT_EQ(sessionEvent.count, before + 5);

  w.resizing = true;
  w.resizeHit = HTLEFT;
  SendMessageW(w.window, WM_CAPTURECHANGED, 0, 0);
  EXPECT_FALSE(w.resizing);
  EXPECT_EQ(w.resizeHit, 0);
  EXPECT_EQ(w.lastEventCode, 204u);
  EXPECT_EQ(w.pointer.captureLost, 1u);
  SendMessageW(w.window, WM_CANCELMODE, 0, 0);
  EXPECT_EQ(w.lastEventCode, 205u);
  EXPECT_EQ(w.pointer.cancelled, 1u);
  // A touch message with a handle the system does not know records nothing.
  const std::uint64_t touches = w.touchPoints;
  SendMessageW(w.window, WM_TOUCH, 1, 0x1234);
  EXPECT_EQ(w.touchPoints, touches);
  EXPECT_EQ(SendMessageW(w.window, WM_ERASEBKGND, 0, 0), 1);
  SendMessageW(w.window, WM_RENDERFORMAT, CF_UNICODETEXT, 0);  // nothing offered: nothing rendered
  EXPECT_EQ(delayedClipboard.renderCount, 0u);
}

TEST_F(WindowTest, ImeMessagesStartAndEndTheComposition) {
  WindowState& w = openMain();
  const std::uint64_t revision = w.compositionRevision;
  SendMessageW(w.window, WM_IME_STARTCOMPOSITION, 0, 0);
  EXPECT_TRUE(w.composing);
  SendMessageW(w.window, WM_IME_COMPOSITION, 0, GCS_COMPSTR);
  EXPECT_TRUE(w.composing);
  EXPECT_EQ(w.composition, "");  // no input method here: an empty composition string
  SendMessageW(w.window, WM_IME_COMPOSITION, 0, GCS_RESULTSTR);
  EXPECT_FALSE(w.composing);
  EXPECT_EQ(w.typedText, "");
  SendMessageW(w.window, WM_IME_CHAR, 0x4E2D, 1);
  EXPECT_EQ(w.typedText, "\xE4\xB8\xAD");
  SendMessageW(w.window, WM_IME_ENDCOMPOSITION, 0, 0);
  EXPECT_EQ(w.compositionRevision, revision + 4);
}

TEST_F(WindowTest, WhileAnotherWindowIsInTheForegroundInputQueriesAnswerNothing) {
  WindowState& w = openMain();
  sendKey(w.window, VK_TAB, true);
  WNDCLASSW otherClass{};
  otherClass.lpfnWndProc = DefWindowProcW;
  otherClass.hInstance = GetModuleHandleW(nullptr);
  otherClass.lpszClassName = L"canvas_test_other_application";
  RegisterClassW(&otherClass);
  HWND other = CreateWindowExW(0, otherClass.lpszClassName, L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                               nullptr, nullptr, otherClass.hInstance, nullptr);
  ASSERT_NE(other, nullptr);
  SetForegroundWindow(other);
  pumpMessages();
  ASSERT_EQ(GetForegroundWindow(), other);
  EXPECT_FALSE(isRuntimeWindowForeground());
  EXPECT_FALSE(keyPressed("TAB"));
  EXPECT_EQ(MouseX(), -1);
  EXPECT_EQ(MouseY(), -1);
  EXPECT_FALSE(mouseButtonDown("LEFT"));
  DestroyWindow(other);
}

}  // namespace
}  // namespace canvas
