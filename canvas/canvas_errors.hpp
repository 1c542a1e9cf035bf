// The "window.canvas" runtime errors: their code, provider and message texts. Every failure of
// window and canvas access is thrown as runtime::vusk_runtime_exception with these texts, so its
// what() reads "window.canvas: <message>".
#pragma once

#include <string_view>

namespace canvas {

inline constexpr std::string_view kCanvasErrorCode = "window.canvas";
inline constexpr std::string_view kCanvasProvider = "vusk_window_input_canvas";

// Followed directly by the operation's name ("BeginFrame", "DrawText", "MouseX", ...).
inline constexpr std::string_view kWindowNotOpenFor = "window/canvas runtime window is not open for ";

// The failures of openWindow.
inline constexpr std::string_view kFailedToCreateWindow = "failed to create window/canvas window";
inline constexpr std::string_view kFailedToAcquireDeviceContext = "failed to acquire window/canvas device context";
inline constexpr std::string_view kFailedToDescribeSrgbFormat =
    "failed to describe strict sRGB window/canvas pixel format";
inline constexpr std::string_view kFailedToConfigurePixelFormat =
    "failed to configure window/canvas OpenGL pixel format";
inline constexpr std::string_view kFailedToActivateContext = "failed to activate window/canvas OpenGL context";

}  // namespace canvas
