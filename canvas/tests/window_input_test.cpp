// Keyboard, text, mouse and drop input on a real window, driven with SendMessageW and SendInput:
// banked keys, focus loss, typed text and surrogates, IME messages, file drops, close requests, the
// foreground rule, the mouse position and buttons, and the accessibility request.
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

using testing::clientToScreen;
using testing::packPoint;
using testing::pumpUntil;
using testing::thrownText;
using testing::WindowTest;

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
  // Waited for by the press snapshot and the button bits, which a late move message cannot undo
  // (the last event code can: a move may follow the press in the same pump).
  const std::uint64_t pressesBefore = w.press.eventSequence;
  SendInput(1, &input, sizeof(INPUT));
  ASSERT_TRUE(pumpUntil([&] { return w.press.eventSequence != pressesBefore; }));
  EXPECT_TRUE(mouseButtonDown("LEFT"));
  EXPECT_EQ(w.press.x, 123);
  EXPECT_EQ(w.press.y, 245);
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof(INPUT));
  EXPECT_TRUE(pumpUntil([&] { return (w.pointer.pointerButtons & MK_LBUTTON) == 0; }));
  EXPECT_FALSE(mouseButtonDown("left"));
}

TEST_F(WindowTest, APressCarriesItsMessageTimeOnTheInputClock) {
  WindowState& w = openMain();
  PostMessageW(w.window, WM_LBUTTONDOWN, MK_LBUTTON, packPoint(300, 310));
  PostMessageW(w.window, WM_LBUTTONUP, 0, packPoint(300, 310));
  std::vector<InputEvent> events;
  ASSERT_TRUE(pumpUntil([&] { return !(events = takeInput({})).empty(); }));
  EXPECT_EQ(events[0].point, (ClientPoint{300, 310}));
  EXPECT_LT(inputClock() - events[0].time, 5000u) << events[0].time;  // made moments ago, on the same clock
  EXPECT_TRUE(doubleClickSpan().milliseconds > 0 && doubleClickSpan().width > 0 && doubleClickSpan().height > 0);
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
