// Internal declarations shared by the Win32 and OpenGL files of the canvas runtime. Includes
// windows.h and the GL headers; never included by portable code or by the application.
#pragma once

#include <windows.h>
// windows.h first: the headers below need its types.
#include <imm.h>
#include <shellapi.h>
#include <wtsapi32.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/wglext.h>

#ifdef DrawText
#undef DrawText
#endif

#include <cstdint>

#include "canvas/window_state.hpp"

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

// Makes openWindow behave as on a driver without WGL_ARB_pixel_format (false), or normally (true).
void setStrictSrgbProbeForTesting(bool enabled);

// Window creation helpers.
bool isStrictSrgbPixelFormat(HDC deviceContext, std::int32_t format);
HFONT createUiFont(std::int32_t pixelHeight, std::int32_t weight);
std::uint32_t buildFontDisplayLists(HDC deviceContext, HFONT font);
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

// Delayed clipboard text.
void renderClipboardText(UINT format);
void flushClipboardOnExit(HWND window);

}  // namespace canvas
