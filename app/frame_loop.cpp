#include "app/frame_loop.hpp"

#include "app/screen_actions.hpp"
#include "app/screen_drawing.hpp"
#include "app/screen_input.hpp"
#include "canvas/canvas.hpp"
#include "runtime/runtime_error.hpp"

namespace app {

namespace {

const canvas::WindowState* mainWindow() { return canvas::findWindow(canvas::windowRegistry().mainId); }

bool mainWindowOpen() {
  const canvas::WindowState* main = mainWindow();
  return main != nullptr && main->open && main->window != nullptr;
}

bool mainWindowFocused() {
  const canvas::WindowState* main = mainWindow();
  return main != nullptr && main->focused;
}

void draw(const DrawList& list) {
  for (const DrawOp& op : list) {
    switch (op.kind) {
      case DrawOp::Kind::kBeginFrame:
        canvas::BeginFrame(op.text, op.secondText);
        break;
      case DrawOp::Kind::kTitleText:
        if (op.clip) canvas::SetClipRect(op.clip->x, op.clip->y, op.clip->width, op.clip->height);
        canvas::drawTitleText(op.text, op.rect.x, op.rect.y, op.size);
        if (op.clip) canvas::ClearClipRect();
        break;
      case DrawOp::Kind::kMutedLabel:
        canvas::drawMutedLabel(op.text, op.rect.x, op.rect.y);
        break;
      case DrawOp::Kind::kRect:
        canvas::DrawRectRgba(op.rect.x, op.rect.y, op.rect.width, op.rect.height, op.colour.r, op.colour.g,
                             op.colour.b);
        break;
      case DrawOp::Kind::kRoundedRect:
        canvas::DrawRoundedRectRgba(op.rect.x, op.rect.y, op.rect.width, op.rect.height, op.radius, op.colour.r,
                                    op.colour.g, op.colour.b);
        break;
    }
  }
}

// One frame up to and including its presentation. Its input is what the window kept since the
// previous frame, applied in the order it came: a press released before this frame began still
// counts at the point where it was made, text typed before a click is in the form when the click
// acts and text typed after it is not. A click acts on what the window showed: only then does a
// window that has just got the keyboard focus read what another program saved meanwhile, which
// this frame draws. What it drew is kept once it is on screen, with the time it got there.
void runFrame(DirectoryView& view, DirectoryScreenState& state) {
  const PointerProbe hover = [](const Rect& r) { return canvas::isMouseOver(r.x, r.y, r.width, r.height); };
  canvas::pumpMessages();
  canvas::WindowState* window = canvas::currentWindow();
  FrameInput input{window != nullptr ? takeFrameEvents(*window) : std::vector<canvas::InputEvent>{},
                   mainWindowFocused()};
  input.doubleClick = canvas::doubleClickSpan();
  input.statusWidth = [](std::string_view text) { return canvas::measureTitleText(runtime::Text(text), kTextSize); };
  applyFrameInput(state, view, input);
  draw(buildScreenDrawing(state, view, hover, input.statusWidth));
  canvas::EndFrame();
  rememberShownScreen(state, view, canvas::inputClock());
}

}  // namespace

void runDirectoryScreen(DirectoryView& view, DirectoryScreenState& state) {
  for (;;) {
    canvas::pumpMessages();
    if (!mainWindowOpen()) return;
    try {
      runFrame(view, state);
    } catch (const runtime::vusk_runtime_exception& error) {
      // The user closed the window while this frame was being drawn: the pointer and drawing
      // calls then find no open window. That is the normal end of the program, not a failure.
      if (error.error().code == canvas::kCanvasErrorCode && !mainWindowOpen()) return;
      throw;
    }
    if (canvas::keyPressed("ESCAPE")) return;
    runtime::cancellableSleep(16);
  }
}

}  // namespace app
