// The window and canvas runtime as the application uses it: opening and closing windows, pumping
// messages, polling input, and immediate-mode drawing on the current window. Operations that need
// an open window throw runtime::vusk_runtime_exception with code "window.canvas" (canvas_errors.hpp).
// Implemented for Windows only (library oreb_canvas); the registry it reads is portable.
//
// windows.h defines DrawText as a macro; this header sets it aside while it declares canvas::DrawText
// and restores it at its end. A file that includes windows.h and names canvas::DrawText sets the
// macro aside around that use the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "canvas/canvas_errors.hpp"
#include "canvas/key_input.hpp"
#include "canvas/window_registry.hpp"
#include "canvas/window_state.hpp"
#include "runtime/text.hpp"

#pragma push_macro("DrawText")
#undef DrawText

namespace canvas {

// --- Windows -------------------------------------------------------------------------------------

// Opens the main window (client width x height, UTF-8 title) with an sRGB OpenGL context and makes
// it main and current; an open main window is made current instead; after 16 windows, does nothing.
void openWindow(const runtime::Text& title, std::int64_t width, std::int64_t height);

// Destroys a window and everything it holds (its record stays, open false), then re-picks the
// current window and pumps. Unknown ids only re-pick and pump.
void closeWindow(std::int32_t id);

// Closes every window of the registry in ascending id order and clears the main and current ids:
// the program's shutdown, and the end of every test that opens windows.
void closeAllWindows();

// Pumps the message queue, makes the current window's context current and returns it; throws
// "window.canvas: window/canvas runtime window is not open for <operation>" when none is open.
WindowState& requireOpenWindow(std::string_view operation);

// Registry access (window_registry.hpp): windowRegistry().mainId / .currentId, findWindow(id),
// currentWindow(), WindowState::open / ::window / ::typedText, collectWindowIds().

// --- Input ---------------------------------------------------------------------------------------

// Dispatches at most 32 pending window messages of this thread.
void pumpMessages();

// True once per banked fresh press of the named key ("TAB", "ESCAPE", "a", "F5", ...; case-insensitive)
// while the current window is open, focused and in the foreground; each true answer takes one press.
bool keyPressed(const runtime::Text& name);

// Whether the named button ("LEFT", "right", "middle", ...) is down while a runtime window is in the
// foreground.
bool mouseButtonDown(const runtime::Text& name);

// Cursor position in the current window's client pixels; -1 when no runtime window is in the
// foreground. Throws "window.canvas" when no window is open.
std::int32_t MouseX();
std::int32_t MouseY();

// x <= MouseX() < x + w and y <= MouseY() < y + h, asked one comparison at a time.
bool isMouseOver(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

// Whether the foreground window is an open runtime window.
bool isRuntimeWindowForeground();

// Moves the current window's typed text out (leaving it empty); empty when there is no current window.
runtime::Text takeTypedText();

// Moves the current window's input since the last call out in the order it came (key_input.hpp):
// typed text, the banked presses of the named keys ("BACKSPACE", "TAB", ...) and the left-button
// presses at the client points where the window received them; empty when there is no current
// window.
std::vector<InputEvent> takeInput(const std::vector<runtime::Text>& keyNames);

// The system tick clock now, in milliseconds (it wraps after about 49.7 days): the clock of the
// left-button press times, for comparing a press with when a frame was presented.
std::uint32_t inputClock();

// The system's double-click time and the size of its double-click rectangle.
DoubleClickSpan doubleClickSpan();

// Draws only inside the rectangle (client pixels) until ClearClipRect or the end of the frame;
// an empty rectangle hides everything drawn.
void SetClipRect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
void ClearClipRect();

// --- Drawing (client pixels, y down, colours as sRGB bytes) ---------------------------------------

// Starts a frame on the current window: GL state, background clear and the header with title and subtitle.
void BeginFrame(const runtime::Text& title, const runtime::Text& subtitle);

// Draws one line of text at (x, y); style 330 is 28 px, up to 249 is 15 px, anything else 20 px.
void DrawTextStyled(const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t style, std::int32_t r,
                    std::int32_t g, std::int32_t b);

// The width in pixels DrawTextStyled advances for this text and style on the current window, with
// the same font; 0 when no window is open or its font for the style was not built.
std::int32_t measureText(const runtime::Text& text, std::int32_t style);

// The same operation as DrawTextStyled.
void DrawText(const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t style, std::int32_t r,
              std::int32_t g, std::int32_t b);

// Fills an opaque rectangle.
void DrawRectRgba(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, std::int64_t r,
                  std::int64_t g, std::int64_t b);

// Fills an opaque rectangle with rounded corners (radius limited to half the smaller side).
void DrawRoundedRectRgba(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, std::int64_t radius,
                         std::int64_t r, std::int64_t g, std::int64_t b);

// Title text in the light title colour: 28 px at size >= 150, else 20 px.
void drawTitleText(const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t size);
// The width drawTitleText advances for the text and size (measureText).
std::int32_t measureTitleText(const runtime::Text& text, std::int32_t size);

// Small label in the muted colour (15 px).
void drawMutedLabel(const runtime::Text& text, std::int32_t x, std::int32_t y);

// Ends the frame and presents it (buffer swap, or a layered copy for a translucent window).
void EndFrame();

}  // namespace canvas

#pragma pop_macro("DrawText")
