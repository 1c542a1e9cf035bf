// Immediate-mode drawing on the current window with OpenGL 1.x: the frame's start and end, bitmap
// text, rectangles and rounded rectangles, colours sent in linear light on sRGB framebuffers.
#include <algorithm>

#include "canvas/canvas.hpp"
#include "canvas/clip_rect.hpp"
#include "canvas/rounded_rect.hpp"
#include "canvas/srgb_color.hpp"
#include "canvas/text_runs.hpp"
#include "canvas/win32_canvas.hpp"

namespace canvas {
namespace {

constexpr char kHeaderText[] = "MIVO / OPEN SOURCE PLAYGROUND";

bool currentWindowHasSrgbFramebuffer() {
  const WindowState* w = currentWindow();
  return w != nullptr && w->srgbFramebuffer;
}

// The font slot a style draws with: its bold font when that was built, else its regular one.
const FontSlot& textSlot(const WindowState& w, const TextStyleClass& styleClass) {
  const FontSlot& bold = w.fonts[static_cast<std::size_t>(styleClass.boldSlot)];
  const FontSlot& regular = w.fonts[static_cast<std::size_t>(styleClass.regularSlot)];
  return (bold.listBase != 0 && bold.font != nullptr) ? bold : regular;
}

void resetStencilAndScissor() {
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glStencilMask(0xFF);
  glStencilFunc(GL_ALWAYS, 0, 0xFF);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
}

}  // namespace

void setPixelProjection(std::int32_t width, std::int32_t height) {
  const std::int32_t w = std::max(width, 1);
  const std::int32_t h = std::max(height, 1);
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, h, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void setColorRgb(std::int64_t r, std::int64_t g, std::int64_t b) {
  if (currentWindowHasSrgbFramebuffer()) {
    glColor4f(srgbToLinear(r), srgbToLinear(g), srgbToLinear(b), 1.0f);
  } else {
    glColor4ub(clampChannel(r), clampChannel(g), clampChannel(b), 255);
  }
}

float colorChannelToFloat(std::int64_t channel) {
  return colorChannelToFloat(channel, currentWindowHasSrgbFramebuffer());
}

void BeginFrame(const runtime::Text& title, const runtime::Text& subtitle) {
  WindowState& w = requireOpenWindow("BeginFrame");
  setPixelProjection(w.width, w.height);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_STENCIL_TEST);
  resetStencilAndScissor();
  glEnable(GL_BLEND);
  if (w.translucent && w.blendFuncSeparate != nullptr) {
    reinterpret_cast<PFNGLBLENDFUNCSEPARATEPROC>(w.blendFuncSeparate)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE,
                                                                      GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  glClearStencil(0);
  glClearColor(colorChannelToFloat(17), colorChannelToFloat(27), colorChannelToFloat(34), 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  drawMutedLabel(kHeaderText, 34, 25);
  drawTitleText(title, 34, 57, 210);
  drawMutedLabel(subtitle, 36, 111);
}

void DrawTextStyled(const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t style, std::int32_t r,
                    std::int32_t g, std::int32_t b) {
  WindowState* w = &requireOpenWindow("DrawTextStyled");
  const TextStyleClass styleClass = textStyleClass(style);
  w = &requireOpenWindow("DrawText");
  const FontSlot& slot = textSlot(*w, styleClass);
  if (slot.listBase == 0 || text.empty()) return;
  setColorRgb(r, g, b);
  glRasterPos2f(static_cast<float>(x), static_cast<float>(static_cast<std::int64_t>(y) + styleClass.baselineOffset));
  glListBase(slot.listBase - 32);
  static const GLubyte kMark = '?';
  walkTextRuns(
      text,
      [&](std::size_t start, std::size_t length) {
        glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text.data() + start);
      },
      [&] { glCallLists(1, GL_UNSIGNED_BYTE, &kMark); });
}

std::int32_t measureText(const runtime::Text& text, std::int32_t style) {
  const WindowState* w = currentWindow();
  if (w == nullptr || !w->open) return 0;
  const FontSlot& slot = textSlot(*w, textStyleClass(style));
  if (slot.listBase == 0) return 0;
  return textAdvanceWidth(text, slot.advances);
}

#pragma push_macro("DrawText")
#undef DrawText
void DrawText(const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t style, std::int32_t r,
              std::int32_t g, std::int32_t b) {
  DrawTextStyled(text, x, y, style, r, g, b);
}
#pragma pop_macro("DrawText")

void DrawRectRgba(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, std::int64_t r,
                  std::int64_t g, std::int64_t b) {
  requireOpenWindow("DrawRectRgba");
  setColorRgb(r, g, b);
  const RectQuad q = rectQuad(x, y, width, height);
  glBegin(GL_QUADS);
  glVertex2f(q.left, q.top);
  glVertex2f(q.right, q.top);
  glVertex2f(q.right, q.bottom);
  glVertex2f(q.left, q.bottom);
  glEnd();
}

void DrawRoundedRectRgba(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, std::int64_t radius,
                         std::int64_t r, std::int64_t g, std::int64_t b) {
  requireOpenWindow("DrawRoundedRectRgba");
  const RoundedRectPlan plan = planRoundedRect(x, y, width, height, radius);
  if (plan.shape == RoundedRectShape::kNothing) return;
  if (plan.shape == RoundedRectShape::kPlainRect) {
    DrawRectRgba(x, y, width, height, r, g, b);
    return;
  }
  setColorRgb(r, g, b);
  glBegin(GL_TRIANGLE_FAN);
  for (const FanVertex& v : plan.fan) glVertex2f(v.x, v.y);
  glEnd();
}

namespace {

// The text style of a title text's size.
std::int32_t titleStyle(std::int32_t size) { return size >= 150 ? 330 : 250; }

}  // namespace

void drawTitleText(const runtime::Text& text, std::int32_t x, std::int32_t y, std::int32_t size) {
  DrawTextStyled(text, x, y, titleStyle(size), 221, 233, 230);
}

std::int32_t measureTitleText(const runtime::Text& text, std::int32_t size) {
  return measureText(text, titleStyle(size));
}

void drawMutedLabel(const runtime::Text& text, std::int32_t x, std::int32_t y) {
  DrawTextStyled(text, x, y, 150, 139, 169, 169);
}

void SetClipRect(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  const WindowState& w = requireOpenWindow("SetClipRect");
  const ScissorBox box = scissorBoxFor(w.height, x, y, width, height);
  glScissor(box.x, box.y, box.width, box.height);
  glEnable(GL_SCISSOR_TEST);
}

void ClearClipRect() {
  requireOpenWindow("ClearClipRect");
  glDisable(GL_SCISSOR_TEST);
}

void EndFrame() {
  WindowState& w = requireOpenWindow("EndFrame");
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_STENCIL_TEST);
  resetStencilAndScissor();
  glFlush();
  if (w.translucent) {
    presentLayeredWindow(w);
  } else {
    SwapBuffers(w.deviceContext);
  }
}

}  // namespace canvas
