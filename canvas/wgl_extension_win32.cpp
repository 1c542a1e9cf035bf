// The lookup of WGL extension functions, in a file of its own: a test that links its own
// lookUpWglExtension leaves this file out of its executable (see win32_canvas.hpp).
#include "canvas/win32_canvas.hpp"

namespace canvas {

PROC lookUpWglExtension(const char* name) { return wglGetProcAddress(name); }

}  // namespace canvas
