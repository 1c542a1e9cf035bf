// Internal declarations shared by the Win32 and OpenGL files of the canvas runtime. Includes
// windows.h and the GL headers; never included by portable code or by the application.
#pragma once

#include <windows.h>
// windows.h first: the headers below need its types.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/wglext.h>
#include <imm.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <cstdint>

#include "canvas/window_state.hpp"
#include "canvas/window_status.hpp"

namespace canvas {

// Window classes.
inline constexpr wchar_t kWindowClassName[] = L"mivo_window_input_canvas_window";
inline constexpr wchar_t kTranslucentWindowClassName[] = L"mivo_window_input_canvas_translucent_window";

// Registers both window classes once per process (and the process DPI awareness before them).
void registerWindowClasses();

// The window procedure of both classes.
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The registry's window whose handle is `window`, or null.
WindowState* findWindowByHandle(HWND window);

// Makes the window's context current unless it already is.
bool makeContextCurrent(HDC deviceContext, HGLRC glContext);

// wglGetProcAddress for the WGL extension functions window creation asks for. Alone in
// wgl_extension_win32.cpp so that a test can link its own definition in its place and open
// windows as on a driver without an extension; the program has no way to replace it.
PROC lookUpWglExtension(const char* name);

// Window creation helpers.
bool isStrictSrgbPixelFormat(HDC deviceContext, std::int32_t format);
HFONT createUiFont(std::int32_t pixelHeight, std::int32_t weight);
// Builds the glyph display lists of the slot's font and records their advances; leaves the list
// base and the advances 0 when the lists could not be built.
void buildFontDisplayLists(HDC deviceContext, FontSlot& slot);
void deleteGdiObject(HFONT& object);
void updateWindowDpi(WindowState& window);

// Releases every window-system and GL resource of a window; its record stays.
void destroyWindowResources(WindowState& window);

// Drawing helpers shared with the frame code.
void setColorRgb(std::int64_t r, std::int64_t g, std::int64_t b);
float colorChannelToFloat(std::int64_t channel);
void setPixelProjection(std::int32_t width, std::int32_t height);

// Layered presentation.
void presentLayeredWindow(WindowState& window);

// Pointer input and the custom frame.
void recordPointerEvent(WindowState& window, std::int32_t code, std::int32_t pointerId, std::int32_t pointerType,
                        WPARAM wParam, LPARAM point, std::int32_t pressure, bool fromPointerMessage);
LRESULT handlePointerMessage(WindowState& window, UINT message, WPARAM wParam, LPARAM lParam);
void handleTouchMessage(WindowState& window, WPARAM wParam, LPARAM lParam);
void setHitTestCursor(std::int32_t hit);
void paintClearedFrame(WindowState& window);
LRESULT handleFramePress(WindowState& window, HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT handleFrameRelease(WindowState& window, HWND hwnd, WPARAM wParam, LPARAM lParam);
LRESULT handleDragResize(WindowState& window, HWND hwnd);
LRESULT handleSetCursor(WindowState* window, HWND hwnd, WPARAM wParam, LPARAM lParam);
void handleRawInput(HWND hwnd, LPARAM lParam);

// Pointer lock (acts only for the registry's capture window).
bool clipCursorToClient(HWND window);
void updateCaptureCursor(HWND window);
void engagePointerLock(HWND window);
void releasePointerLock(HWND window);
void releasePointerCapture(HWND window);

// UI Automation bridge.
LRESULT handleGetObject(HWND window, WPARAM wParam, LPARAM lParam);
void forgetUiaWindowOnDestroy(HWND window);

// Delayed rendering of clipboard text. Nothing in this program offers text, so `pending` stays 0
// and the clipboard messages only answer what an offering operation would set up.
struct DelayedClipboardState {
  std::uint64_t eventCount = 0;
  std::uint64_t pending = 0;
  std::uint64_t state = 0;  // one of the kClipboard values below, 0 before any
  std::uint64_t renderCount = 0;
  std::uint64_t destroyCount = 0;
  std::uint64_t ownerDestroyedCount = 0;
  std::uint64_t pendingLength = 0;
  HWND owner = nullptr;
  HGLOBAL pendingText = nullptr;
};
extern DelayedClipboardState delayedClipboard;

// DelayedClipboardState::state: how the last pending text ended.
inline constexpr std::uint64_t kClipboardRendered = 2;        // handed to the clipboard
inline constexpr std::uint64_t kClipboardDestroyed = 3;       // the clipboard was emptied first
inline constexpr std::uint64_t kClipboardOwnerDestroyed = 4;  // its owner window was destroyed

// The last session or power event the window procedure saw.
struct SessionEventRecord {
  std::uint64_t count = 0;
  std::uint64_t kind = 0;  // one of the kSession values of window_status.hpp
  std::uint64_t param = 0;
  std::uint64_t windowId = 0;
  std::uint64_t flag = 0;
};
extern SessionEventRecord sessionEvent;

// Delayed clipboard text.
void renderClipboardText(UINT format);
void flushClipboardOnExit(HWND window);

}  // namespace canvas
