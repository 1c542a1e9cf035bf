#include <gtest/gtest.h>

#include <string>

#include "provider_test_support.hpp"

namespace uihost {
namespace {

using namespace testing_support;

Call begin(const char* window, std::int32_t selectionStart, std::int32_t caretX, std::int32_t caretWidth) {
  return [=](P& p) {
    return p.beginTextInput(window, "ka", selectionStart, 2, 0, 2, caretX, 6, caretWidth, 16, -3, 20, "email", "none",
                            true, false, kOwner, 50, 5);
  };
}
void composing(P& p) {
  makeReady(p);
  ASSERT_TRUE(begin("w1", 1, 4, 1)(p));
}
void committed(P& p) {
  composing(p);
  ASSERT_TRUE(p.commitTextInput("w1", "k", 0, 1, kOwner, 3, 3));
}
Call surround(const char* window, std::int32_t deleteAfter) {
  return [=](P& p) { return p.updateSurroundingText(window, "a ka b", 3, 4, 1, deleteAfter, kOwner, 50, 5); };
}
Call commit(const char* window, std::int32_t start) {
  return [=](P& p) { return p.commitTextInput(window, "k\n{0}a", start, 2, kOwner, 50, 5); };
}
Call cancel(const char* window) {
  return [=](P& p) { return p.cancelTextInput(window, "escape", kOwner, 50, 5); };
}
Call transfer(const char* from, const char* to, std::int32_t thread = kOwner) {
  return [=](P& p) { return p.transferTextFocus(from, to, thread, 50, 5); };
}
bool keyboard(P& p) { return p.requestVirtualKeyboard(true, false, "pending", kOwner, 50, 5); }

TEST(TextInput, CompositionFocusAndKeyboardTable) {
  const std::string badBegin = "text-input-begin rejected: invalid-window-range-or-geometry";
  const std::string badSurround = "surrounding-text rejected: inactive-stale-window-or-invalid-range";
  const std::string badCommit = "text-input-commit rejected: inactive-stale-window-or-invalid-range";
  const std::string badCancel = "text-input-cancel rejected: inactive-or-stale-window";
  const std::string badTransfer = "text-focus-transfer rejected: invalid-source-or-destination";
  runCases({
      {"begin", makeReady, begin("w1", 1, -5, 1), true,
       "category=text-input; subject=w1; state=preedit; detail=selection=1,2; replacement=0,2; caret=-5,6,1,16; "
       "candidate=-3,20; purpose=email; hints=none; dead-key=true; virtual-keyboard=false"},
      {"begin caret width -1", makeReady, begin("w1", 1, 4, -1), false, badBegin},
      {"begin empty window", makeReady, begin("", 1, 4, 1), false, badBegin},
      {"begin replaces a composition", composing, begin("w2", 0, 0, 0), true,
       "category=text-input; subject=w2; state=preedit; detail=selection=0,2; replacement=0,2; caret=0,6,0,16; "
       "candidate=-3,20; purpose=email; hints=none; dead-key=true; virtual-keyboard=false"},
      {"surrounding", composing, surround("w1", 0), true,
       "category=text-input; subject=w1; state=surrounding-update; detail=selection=3,4; delete=1,0"},
      {"surrounding other window", composing, surround("w2", 0), false, badSurround},
      {"surrounding negative delete", composing, surround("w1", -1), false, badSurround},
      {"commit", composing, commit("w1", 0), true,
       "category=text-input; subject=w1; state=commit; detail=text=k\\n{0}a; replacement=0,2"},
      {"commit other window", composing, commit("w2", 0), false, badCommit},
      {"commit twice", committed, commit("w1", 0), false, badCommit},
      {"cancel", composing, cancel("w1"), true, "category=text-input; subject=w1; state=cancel; detail=escape"},
      {"cancel other window", composing, cancel("w2"), false, badCancel},
      {"transfer from the composition", composing, transfer("w1", "w2"), true,
       "category=text-input; subject=w2; state=focus; detail=from=w1"},
      {"transfer from another window", composing, transfer("w3", "w2"), false, badTransfer},
      {"transfer to no window", committed, transfer("w1", ""), false, badTransfer},
      {"transfer, nothing composed", makeReady, transfer("", "w2"), true,
       "category=text-input; subject=w2; state=focus; detail=from="},
      {"transfer, other thread", composing, transfer("w1", "w2", kOther), false,
       "text-input rejected: wrong-thread expected=7 actual=8"},
      {"keyboard", makeReady, keyboard, true,
       "category=text-input; subject=; state=virtual-keyboard; detail=requested=true; visible=false; state=pending"},
      {"keyboard names the input window", committed, keyboard, true,
       "category=text-input; subject=w1; state=virtual-keyboard; detail=requested=true; visible=false; state=pending"},
      {"keyboard without capability", makeReady, keyboard, false,
       "virtual-keyboard rejected: capability-unavailable-before-effect",
       without(&HostProviderDescriptor::supportsVirtualKeyboard)},
  });
}

}  // namespace
}  // namespace uihost
