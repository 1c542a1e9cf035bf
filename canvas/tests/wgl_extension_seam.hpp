// The window tests' stand-in for the WGL extension lookup (win32_canvas.hpp): it answers as the
// driver does, or as a driver without WGL_ARB_pixel_format, on which windows open on the fallback
// pixel format. Every window test executable links wgl_extension_seam.cpp.
#pragma once

namespace canvas::testing {

// false: wglChoosePixelFormatARB is missing until this is called again with true.
void setPixelFormatExtensionAvailable(bool available);

}  // namespace canvas::testing
