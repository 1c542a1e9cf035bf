// Size, focus and session decisions of the window procedure.
#include "canvas/window_status.hpp"

namespace canvas {

SizeDecision decideSizeChange(const SizeChange& change) {
  SizeDecision decision;
  decision.width = change.width == 0 ? 1 : change.width;
  decision.height = change.height == 0 ? 1 : change.height;
  decision.minimized = change.sizeType == kSizeMinimized;
  if (change.captureWindow) {
    if (decision.minimized) {
      decision.lock = PointerLockStep::kRelease;
    } else if (change.focused && change.captureMode) {
      decision.lock = PointerLockStep::kEngage;
    }
  }
  return decision;
}

FocusDecision decideFocusGained(const FocusContext& context) {
  FocusDecision decision;
  decision.focused = true;
  if (context.captureWindow) {
    decision.lock =
        context.captureMode && !context.minimized ? PointerLockStep::kEngage : PointerLockStep::kUpdateCursor;
  }
  return decision;
}

FocusDecision decideFocusLost(const FocusContext& context) {
  FocusDecision decision;
  decision.focused = false;
  decision.clearKeys = true;
  decision.endComposition = context.composing;
  if (context.captureWindow) decision.lock = PointerLockStep::kRelease;
  return decision;
}

namespace {

bool powerFlag(std::uint64_t event, bool windowFocused) {
  if (event == kPowerSuspend) return false;
  return event == kPowerResumeSuspend || event == kPowerResumeAutomatic || windowFocused;
}

bool sessionChangeFlag(std::uint64_t change, bool windowFocused) {
  if (change == kSessionLogoff || change == kSessionLock) return false;
  return change == kSessionLogon || change == kSessionUnlock || windowFocused;
}

}  // namespace

SessionDecision decideSessionEvent(const SessionMessage& message) {
  SessionDecision decision;
  decision.param = message.wParam;
  switch (message.kind) {
    case kSessionQueryEnd:
      decision.param = message.lParam;
      decision.result = 1;
      break;
    case kSessionEnd:
      decision.flag = message.wParam == 0;
      break;
    case kSessionActivation:
      decision.flag = message.wParam != 0;
      break;
    case kSessionPower:
      decision.flag = powerFlag(message.wParam, message.windowFocused);
      decision.result = 1;
      break;
    case kSessionTerminal:
      decision.flag = sessionChangeFlag(message.wParam, message.windowFocused);
      break;
    default:
      break;
  }
  return decision;
}

}  // namespace canvas
