#include "wgl_extension_seam.hpp"

#include <cstring>

#include "canvas/win32_canvas.hpp"

namespace canvas {
namespace {

bool gPixelFormatExtension = true;

}  // namespace

void testing::setPixelFormatExtensionAvailable(bool available) { gPixelFormatExtension = available; }

PROC lookUpWglExtension(const char* name) {
  if (!gPixelFormatExtension && std::strcmp(name, "wglChoosePixelFormatARB") == 0) return nullptr;
  return wglGetProcAddress(name);
}

}  // namespace canvas
