// Size, focus and session decisions of the window procedure.
#include "canvas/window_status.hpp"

#include <gtest/gtest.h>

namespace canvas {
namespace {

constexpr std::uint64_t kRestored = 0;
constexpr std::uint64_t kMaximized = 2;

using Lock = PointerLockStep;

TEST(SizeChangeTest, ClientSizeMinimisedFlagAndPointerLock) {
  struct Case {
    const char* name;
    SizeChange change;
    SizeDecision decision;
  };
  // SizeChange: size type, width, height, capture window, lock asked, focused.
  // SizeDecision: width, height, minimised, lock step.
  const Case cases[] = {
      {"restored, not the capture window", {kRestored, 800, 600, false, true, true}, {800, 600, false, Lock::kNone}},
      {"maximised", {kMaximized, 1280, 770, false, false, false}, {1280, 770, false, Lock::kNone}},
      {"largest size", {kRestored, 65535, 65535, false, false, false}, {65535, 65535, false, Lock::kNone}},
      {"minimised reports 0 x 0", {kSizeMinimized, 0, 0, false, false, false}, {1, 1, true, Lock::kNone}},
      {"one side 0", {kRestored, 0, 300, false, false, false}, {1, 300, false, Lock::kNone}},
      {"other side 0", {kRestored, 300, 0, false, false, false}, {300, 1, false, Lock::kNone}},
      {"capture window minimised", {kSizeMinimized, 0, 0, true, true, true}, {1, 1, true, Lock::kRelease}},
      {"capture window minimised without lock",
       {kSizeMinimized, 0, 0, true, false, false},
       {1, 1, true, Lock::kRelease}},
      {"capture window restored, focused, lock asked",
       {kRestored, 640, 480, true, true, true},
       {640, 480, false, Lock::kEngage}},
      {"capture window maximised, focused, lock asked",
       {kMaximized, 1280, 770, true, true, true},
       {1280, 770, false, Lock::kEngage}},
      {"capture window without focus", {kRestored, 640, 480, true, true, false}, {640, 480, false, Lock::kNone}},
      {"capture window, lock not asked", {kRestored, 640, 480, true, false, true}, {640, 480, false, Lock::kNone}},
      {"other window minimised keeps the lock", {kSizeMinimized, 0, 0, false, true, true}, {1, 1, true, Lock::kNone}},
      {"size type compared whole",
       {kSizeMinimized + (1ull << 32), 10, 10, true, true, true},
       {10, 10, false, Lock::kEngage}},
  };
  for (const Case& c : cases) EXPECT_EQ(decideSizeChange(c.change), c.decision) << c.name;
}

TEST(FocusChangeTest, KeysCompositionAndPointerLock) {
  struct Case {
    const char* name;
    bool gained;
    FocusContext context;
    FocusDecision decision;
  };
  // FocusContext: capture window, lock asked, minimised, composing.
  // FocusDecision: focused, clear keys, end composition, lock step.
  const Case cases[] = {
      {"gained by another window", true, {false, true, false, true}, {true, false, false, Lock::kNone}},
      {"gained, lock asked", true, {true, true, false, false}, {true, false, false, Lock::kEngage}},
      {"gained while minimised", true, {true, true, true, false}, {true, false, false, Lock::kUpdateCursor}},
      {"gained, lock not asked", true, {true, false, false, false}, {true, false, false, Lock::kUpdateCursor}},
      {"gained while composing keeps it", true, {true, true, false, true}, {true, false, false, Lock::kEngage}},
      {"lost by another window", false, {false, true, false, false}, {false, true, false, Lock::kNone}},
      {"lost while composing", false, {false, false, false, true}, {false, true, true, Lock::kNone}},
      {"lost by the capture window", false, {true, true, false, false}, {false, true, false, Lock::kRelease}},
      {"lost by the capture window, lock not asked",
       false,
       {true, false, true, true},
       {false, true, true, Lock::kRelease}},
  };
  for (const Case& c : cases) {
    const FocusDecision decision = c.gained ? decideFocusGained(c.context) : decideFocusLost(c.context);
    EXPECT_EQ(decision, c.decision) << c.name;
  }
}

TEST(SessionEventTest, RecordedParameterFlagAndAnswer) {
  struct Case {
    const char* name;
    SessionMessage message;
    SessionDecision decision;
  };
  // SessionMessage: kind, wParam, lParam, window focused. SessionDecision: param, flag, answer.
  constexpr std::uint64_t kLogoff = 0x80000000;  // ENDSESSION_LOGOFF in lParam
  constexpr std::uint64_t kPowerStatusChange = 0xA;
  constexpr std::uint64_t kConsoleConnect = 0x1;
  const Case cases[] = {
      {"query end records lParam and agrees", {kSessionQueryEnd, 0, kLogoff, true}, {kLogoff, false, 1}},
      {"query end without a window", {kSessionQueryEnd, 7, 0, false}, {0, false, 1}},
      {"session ends", {kSessionEnd, 1, 0, true}, {1, false, 0}},
      {"session goes on", {kSessionEnd, 0, kLogoff, false}, {0, true, 0}},
      {"application activated", {kSessionActivation, 1, 0, false}, {1, true, 0}},
      {"application deactivated", {kSessionActivation, 0, 0, true}, {0, false, 0}},
      {"activation wParam compared whole", {kSessionActivation, 1ull << 32, 0, false}, {1ull << 32, true, 0}},
      {"suspend, focused", {kSessionPower, kPowerSuspend, 0, true}, {kPowerSuspend, false, 1}},
      {"resume from suspend", {kSessionPower, kPowerResumeSuspend, 0, false}, {kPowerResumeSuspend, true, 1}},
      {"automatic resume", {kSessionPower, kPowerResumeAutomatic, 0, false}, {kPowerResumeAutomatic, true, 1}},
      {"other power event, focused", {kSessionPower, kPowerStatusChange, 0, true}, {kPowerStatusChange, true, 1}},
      {"other power event, unfocused", {kSessionPower, kPowerStatusChange, 0, false}, {kPowerStatusChange, false, 1}},
      {"logon", {kSessionTerminal, kSessionLogon, 0, false}, {kSessionLogon, true, 0}},
      {"unlock", {kSessionTerminal, kSessionUnlock, 0, false}, {kSessionUnlock, true, 0}},
      {"logoff, focused", {kSessionTerminal, kSessionLogoff, 0, true}, {kSessionLogoff, false, 0}},
      {"lock, focused", {kSessionTerminal, kSessionLock, 0, true}, {kSessionLock, false, 0}},
      {"other change, focused", {kSessionTerminal, kConsoleConnect, 0, true}, {kConsoleConnect, true, 0}},
      {"other change, unfocused", {kSessionTerminal, kConsoleConnect, 0, false}, {kConsoleConnect, false, 0}},
      {"unknown kind", {0, 3, 4, true}, {3, false, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(decideSessionEvent(c.message), c.decision) << c.name;
}

}  // namespace
}  // namespace canvas
