// Size, focus and session decisions of the window procedure: the client size and minimised flag a
// WM_SIZE leaves, what gaining or losing the keyboard focus does to keys, composition and the
// pointer lock, and how a power or session message is recorded and answered. Plain values in, a
// decision out; the Win32 side reads the message and the system state and carries the decision
// out in order.
#pragma once

#include <cstdint>

namespace canvas {

// The Win32 values these decisions compare with (SIZE_MINIMIZED; the PBT_APM* power events; the
// WTS_SESSION_* session changes). The Win32 side checks them against the system headers.
inline constexpr std::uint64_t kSizeMinimized = 1;
inline constexpr std::uint64_t kPowerSuspend = 0x4;
inline constexpr std::uint64_t kPowerResumeSuspend = 0x7;
inline constexpr std::uint64_t kPowerResumeAutomatic = 0x12;
inline constexpr std::uint64_t kSessionLogon = 0x5;
inline constexpr std::uint64_t kSessionLogoff = 0x6;
inline constexpr std::uint64_t kSessionLock = 0x7;
inline constexpr std::uint64_t kSessionUnlock = 0x8;

// What a size or focus change does to the pointer lock. Only the registry's capture window ever
// gets a step other than kNone.
enum class PointerLockStep {
  kNone,
  kEngage,        // clip the cursor to the client area again (if the window is in the foreground)
  kRelease,       // free the cursor
  kUpdateCursor,  // leave the lock as it is and show or hide the cursor for it
};

// A WM_SIZE as the window procedure reads it, with the window's state at that moment.
struct SizeChange {
  std::uint64_t sizeType = 0;  // wParam: SIZE_RESTORED, SIZE_MINIMIZED, SIZE_MAXIMIZED, ...
  std::uint16_t width = 0;     // the new client size (the words of lParam)
  std::uint16_t height = 0;
  bool captureWindow = false;  // the window is the registry's capture window
  bool captureMode = false;    // the application has asked for the pointer lock
  bool focused = false;
};

struct SizeDecision {
  std::int32_t width = 1;  // never 0: a minimised window reports 0 x 0 and keeps 1 x 1
  std::int32_t height = 1;
  bool minimized = false;
  PointerLockStep lock = PointerLockStep::kNone;
  friend bool operator==(const SizeDecision&, const SizeDecision&) = default;
};

// Minimising releases the capture window's lock; any other size change engages it again while
// the window has the focus and the application still asks for it.
SizeDecision decideSizeChange(const SizeChange& change);

// The window's state when WM_SETFOCUS or WM_KILLFOCUS arrives.
struct FocusContext {
  bool captureWindow = false;
  bool captureMode = false;
  bool minimized = false;
  bool composing = false;
};

struct FocusDecision {
  bool focused = false;
  bool clearKeys = false;       // banked presses and the key log are dropped
  bool endComposition = false;  // the composition in progress ends without a result
  PointerLockStep lock = PointerLockStep::kNone;
  friend bool operator==(const FocusDecision&, const FocusDecision&) = default;
};

// Gaining the focus engages the capture window's lock when the application asks for it and the
// window is not minimised, and otherwise only updates the cursor. Losing it drops the banked keys
// and any composition, and releases the lock.
FocusDecision decideFocusGained(const FocusContext& context);
FocusDecision decideFocusLost(const FocusContext& context);

// SessionEventRecord::kind: the message that recorded it.
inline constexpr std::uint64_t kSessionActivation = 1;  // WM_ACTIVATEAPP
inline constexpr std::uint64_t kSessionPower = 2;       // WM_POWERBROADCAST
inline constexpr std::uint64_t kSessionTerminal = 3;    // WM_WTSSESSION_CHANGE
inline constexpr std::uint64_t kSessionQueryEnd = 4;    // WM_QUERYENDSESSION
inline constexpr std::uint64_t kSessionEnd = 5;         // WM_ENDSESSION

// A power or session message: its kind (one of the kSession values), its wParam and lParam, and
// whether the window it came to is known and has the focus.
struct SessionMessage {
  std::uint64_t kind = 0;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
  bool windowFocused = false;
};

// What is recorded (param and flag) and what the window procedure answers.
struct SessionDecision {
  std::uint64_t param = 0;
  bool flag = false;
  std::int64_t result = 0;
  friend bool operator==(const SessionDecision&, const SessionDecision&) = default;
};

// The flag says whether the program may go on as before: the application became active; the
// machine resumed (or, for any other power event, the window has the focus) but not on a suspend;
// the session was logged on or unlocked (or, for any other change, the window has the focus) but
// not on a logoff or lock; the session does not end after all. A query to end the session records
// its lParam and agrees (1); a power event answers 1; the others answer 0.
SessionDecision decideSessionEvent(const SessionMessage& message);

}  // namespace canvas
