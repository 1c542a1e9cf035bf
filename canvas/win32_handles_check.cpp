// Compile-time proof that the portable handle aliases are the windows.h handle types.
#include <windows.h>

#include <type_traits>

#include "canvas/canvas.hpp"

static_assert(std::is_same_v<canvas::WindowHandle, HWND>);
static_assert(std::is_same_v<canvas::DeviceContextHandle, HDC>);
static_assert(std::is_same_v<canvas::GlContextHandle, HGLRC>);
static_assert(std::is_same_v<canvas::FontHandle, HFONT>);
static_assert(std::is_same_v<canvas::BitmapHandle, HBITMAP>);
static_assert(std::is_same_v<canvas::GdiObjectHandle, HGDIOBJ>);
static_assert(std::is_same_v<canvas::MonitorHandle, HMONITOR>);
