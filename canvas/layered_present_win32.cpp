// Presenting a translucent window as a layered window: the back buffer is read into a DIB that is
// kept between frames, converted to premultiplied sRGB (when the framebuffer does not hold that
// already) and handed to UpdateLayeredWindow.
#include "canvas/layered_frame.hpp"
#include "canvas/win32_canvas.hpp"
#include "canvas/window_registry.hpp"

namespace canvas {
namespace {

// Makes sure the window has a W x H DIB selected into its memory device context.
bool ensureLayeredDib(WindowState& w, std::int32_t width, std::int32_t height) {
  if (w.layeredBitmap != nullptr && w.layeredBits != nullptr && w.layeredWidth == width && w.layeredHeight == height) {
    return true;
  }
  CanvasResourceCounters& counters = canvasResourceCounters();
  const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4;
  if (!layeredBudgetAllows(counters.layeredDibBytes, bytes, w.layeredBytes)) return false;
  HDC dc = w.layeredDc;
  const bool newDc = dc == nullptr;
  if (newDc) {
    dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, the row order of glReadPixels
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (newDc) DeleteDC(dc);
    return false;
  }
  HGDIOBJ previous = SelectObject(dc, bitmap);
  if (previous == nullptr || previous == HGDI_ERROR) {
    DeleteObject(bitmap);
    if (newDc) DeleteDC(dc);
    return false;
  }
  if (newDc) {
    w.layeredDc = dc;
    w.previousBitmap = previous;
  }
  if (w.layeredBitmap != nullptr) {
    DeleteObject(w.layeredBitmap);
    counters.layeredDibBytes -= w.layeredBytes;
  } else {
    ++counters.liveLayeredDibs;
  }
  counters.layeredDibBytes += bytes;
  w.layeredBitmap = bitmap;
  w.layeredBits = bits;
  w.layeredWidth = width;
  w.layeredHeight = height;
  w.layeredBytes = bytes;
  return true;
}

}  // namespace

void presentLayeredWindow(WindowState& w) {
  w.layeredPresented = false;
  if (!w.translucent || !layeredFrameAllowed(w.width, w.height)) return;
  const std::int32_t width = w.width < 1 ? 1 : w.width;
  const std::int32_t height = w.height < 1 ? 1 : w.height;
  if (!ensureLayeredDib(w, width, height)) return;
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, w.layeredWidth, w.layeredHeight, GL_BGRA, GL_UNSIGNED_BYTE, w.layeredBits);
  auto* pixels = static_cast<std::uint8_t*>(w.layeredBits);
  convertLayeredPixels(pixels, static_cast<std::size_t>(w.layeredWidth) * static_cast<std::size_t>(w.layeredHeight),
                       w.srgbFramebuffer);
  w.layeredSamplePixel = layeredTopLeftPixel(pixels, w.layeredWidth, w.layeredHeight);
  RECT rect;
  if (!GetWindowRect(w.window, &rect)) return;
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return;
  POINT destination{rect.left, rect.top};
  SIZE size{w.layeredWidth, w.layeredHeight};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  const BOOL updated =
      UpdateLayeredWindow(w.window, screen, &destination, &size, w.layeredDc, &source, 0, &blend, ULW_ALPHA);
  ReleaseDC(nullptr, screen);
  if (updated != TRUE) return;
  ++w.layeredPresents;
  w.layeredPresented = true;
  if (!w.visible) {
    ShowWindow(w.window, SW_SHOW);
    w.visible = true;
  }
}

}  // namespace canvas
