// Text input services of the provider: one composition at a time, begun by a window with its
// geometry, updated with surrounding text, ended by commit, cancel or a focus transfer; and the
// virtual keyboard request.
#include <utility>

#include "runtime/text.hpp"
#include "uihost/native_ui_host_provider.hpp"

namespace uihost {

using runtime::boolToText;
using runtime::formatText;
using runtime::intToText;

bool NativeUiHostProvider::beginTextInput(const Text& windowId, const Text& compositionText,
                                          std::int32_t selectionStart, std::int32_t selectionEnd,
                                          std::int32_t replacementStart, std::int32_t replacementEnd,
                                          std::int32_t caretX, std::int32_t caretY, std::int32_t caretWidth,
                                          std::int32_t caretHeight, std::int32_t candidateX, std::int32_t candidateY,
                                          const Text& purpose, const Text& hints, bool deadKey, bool virtualKeyboard,
                                          std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "text-input")) return false;
  // Caret and candidate positions may be negative (left of or above the window); ranges and
  // sizes may not. A start after its end is accepted.
  if (windowId.empty() || selectionStart < 0 || selectionEnd < 0 || replacementStart < 0 || replacementEnd < 0 ||
      caretWidth < 0 || caretHeight < 0) {
    return reject("text-input-begin", "invalid-window-range-or-geometry");
  }
  const Text ranges = formatText(
      "selection={0},{1}; replacement={2},{3}",
      {intToText(selectionStart), intToText(selectionEnd), intToText(replacementStart), intToText(replacementEnd)});
  const Text caret = formatText("caret={0},{1},{2},{3}",
                                {intToText(caretX), intToText(caretY), intToText(caretWidth), intToText(caretHeight)});
  const Text candidate = formatText("candidate={0},{1}; purpose={2}; hints={3}",
                                    {intToText(candidateX), intToText(candidateY), purpose, hints});
  const Text keys =
      formatText("dead-key={0}; virtual-keyboard={1}", {boolToText(deadKey), boolToText(virtualKeyboard)});
  const Text detail = formatText("{0}; {1}; {2}; {3}", {ranges, caret, candidate, keys});

  // A begin during an active composition replaces it; nothing is written for the earlier one.
  TextInputState next = textInput_;
  next.textInputWindow = windowId;
  next.compositionText = compositionText;
  next.selectionStart = selectionStart;
  next.selectionEnd = selectionEnd;
  next.replacementStart = replacementStart;
  next.replacementEnd = replacementEnd;
  next.caretX = caretX;
  next.caretY = caretY;
  next.caretWidth = caretWidth;
  next.caretHeight = caretHeight;
  next.candidateX = candidateX;
  next.candidateY = candidateY;
  next.inputPurpose = purpose;
  next.inputHints = hints;
  next.compositionActive = true;
  next.keyboardRequested = virtualKeyboard;
  textInput_ = std::move(next);
  recordHostEvent("text-input", windowId, "preedit", detail, time, correlation, 3);
  return true;
}

bool NativeUiHostProvider::updateSurroundingText(const Text& windowId, const Text& surroundingText,
                                                 std::int32_t selectionStart, std::int32_t selectionEnd,
                                                 std::int32_t deleteBefore, std::int32_t deleteAfter,
                                                 std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "text-input")) return false;
  if (!textInput_.compositionActive || windowId != textInput_.textInputWindow || selectionStart < 0 ||
      selectionEnd < 0 || deleteBefore < 0 || deleteAfter < 0) {
    return reject("surrounding-text", "inactive-stale-window-or-invalid-range");
  }
  textInput_.surroundingText = surroundingText;
  textInput_.selectionStart = selectionStart;
  textInput_.selectionEnd = selectionEnd;
  recordHostEvent("text-input", windowId, "surrounding-update",
                  formatText("selection={0},{1}; delete={2},{3}", {intToText(selectionStart), intToText(selectionEnd),
                                                                   intToText(deleteBefore), intToText(deleteAfter)}),
                  time, correlation, 2);
  return true;
}

bool NativeUiHostProvider::commitTextInput(const Text& windowId, const Text& committedText,
                                           std::int32_t replacementStart, std::int32_t replacementEnd,
                                           std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "text-input")) return false;
  if (!textInput_.compositionActive || windowId != textInput_.textInputWindow || replacementStart < 0 ||
      replacementEnd < 0) {
    return reject("text-input-commit", "inactive-stale-window-or-invalid-range");
  }
  recordHostEvent("text-input", windowId, "commit",
                  formatText("text={0}; replacement={1},{2}",
                             {committedText, intToText(replacementStart), intToText(replacementEnd)}),
                  time, correlation, 2);
  textInput_.compositionText.clear();
  textInput_.compositionActive = false;
  return true;
}

bool NativeUiHostProvider::cancelTextInput(const Text& windowId, const Text& reason, std::int32_t thread,
                                           std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "text-input")) return false;
  if (!textInput_.compositionActive || windowId != textInput_.textInputWindow) {
    return reject("text-input-cancel", "inactive-or-stale-window");
  }
  recordHostEvent("text-input", windowId, "cancel", reason, time, correlation, 1);
  textInput_.compositionText.clear();
  textInput_.compositionActive = false;
  return true;
}

bool NativeUiHostProvider::transferTextFocus(const Text& sourceWindowId, const Text& destinationWindowId,
                                             std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "text-input")) return false;
  if (destinationWindowId.empty()) return reject("text-focus-transfer", "invalid-source-or-destination");
  if (textInput_.compositionActive) {
    if (sourceWindowId != textInput_.textInputWindow) {
      return reject("text-focus-transfer", "invalid-source-or-destination");
    }
    recordHostEvent("text-input", sourceWindowId, "focus-cancel", "composition-cancelled-before-transfer", time,
                    correlation, 1);
    textInput_.compositionActive = false;
    textInput_.compositionText.clear();
  }
  textInput_.textInputWindow = destinationWindowId;
  recordHostEvent("text-input", destinationWindowId, "focus", formatText("from={0}", {sourceWindowId}), time,
                  correlation, 1);
  return true;
}

bool NativeUiHostProvider::requestVirtualKeyboard(bool requested, bool visible, const Text& keyboardState,
                                                  std::int32_t thread, std::int32_t time, std::int32_t correlation) {
  if (!admit(thread, "virtual-keyboard")) return false;
  textInput_.keyboardRequested = requested;
  textInput_.keyboardVisible = visible;
  recordHostEvent(
      "text-input", textInput_.textInputWindow, "virtual-keyboard",
      formatText("requested={0}; visible={1}; state={2}", {boolToText(requested), boolToText(visible), keyboardState}),
      time, correlation, 1);
  return true;
}

}  // namespace uihost
