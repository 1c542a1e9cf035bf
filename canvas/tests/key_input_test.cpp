// Key banking, typed text from UTF-16 units, the ordered input log and the composition text.
#include "canvas/key_input.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "canvas/pointer_input.hpp"

namespace canvas {

void PrintTo(const InputEvent& event, std::ostream* out) {
  *out << "{" << static_cast<int>(event.kind) << " \"" << event.text << "\" " << event.virtualKey << " "
       << event.point.x << "," << event.point.y << " @" << event.time << "}";
}

namespace {

constexpr std::uint32_t kFreshDown = 0x00000001;   // repeat count 1, key was up
constexpr std::uint32_t kAutoRepeat = 0x40000001;  // key was already down

TEST(KeyBankingTest, AHeldKeyBanksOnePressAndANewPressAnother) {
  WindowState w;
  recordKeyEvent(w, 0x09, kFreshDown, true);
  recordKeyEvent(w, 0x09, kAutoRepeat, true);
  recordKeyEvent(w, 0x09, kAutoRepeat, true);
  EXPECT_EQ(w.keyRepeat, 1u);
  recordKeyEvent(w, 0x09, 0xC0000001, false);
  recordKeyEvent(w, 0x09, kFreshDown, true);
  EXPECT_EQ(w.pendingPresses[0x09], 2);
  EXPECT_TRUE(takeKeyPress(w, 0x09));
  EXPECT_TRUE(takeKeyPress(w, 0x09));
  EXPECT_FALSE(takeKeyPress(w, 0x09));
}

TEST(KeyBankingTest, ARepeatCountAboveOneIsARepeat) {
  WindowState w;
  recordKeyEvent(w, 0x41, 0x00000002, true);
  EXPECT_EQ(w.pendingPresses[0x41], 0);
  EXPECT_EQ(w.keyRepeat, 1u);
  EXPECT_EQ(w.lastEventCode, 100u);
}

TEST(KeyBankingTest, CountersStopAt255) {
  WindowState w;
  for (int i = 0; i < 256; ++i) recordKeyEvent(w, 0x20, kFreshDown, true);
  EXPECT_EQ(w.pendingPresses[0x20], 255);
}

TEST(KeyBankingTest, KeysOutsideTheTableAndUnknownNamesBankNothing) {
  WindowState w;
  recordKeyEvent(w, 300, kFreshDown, true);
  EXPECT_EQ(w.payloadA, 300u);
  for (std::uint8_t count : w.pendingPresses) EXPECT_EQ(count, 0);
  EXPECT_FALSE(takeKeyPress(w, 0));
  EXPECT_FALSE(takeKeyPress(w, 256));
  EXPECT_FALSE(takeKeyPress(w, -1));
}

TEST(KeyBankingTest, ModifiersAndEventCodes) {
  WindowState w;
  recordKeyEvent(w, 16, kFreshDown, true);
  recordKeyEvent(w, 17, kFreshDown, true);
  EXPECT_EQ(w.modifierMask, 3u);
  recordKeyEvent(w, 18, kFreshDown, true);
  EXPECT_EQ(w.keyModifiers, 7u);
  recordKeyEvent(w, 16, 0xC0000001, false);
  EXPECT_EQ(w.modifierMask, 6u);
  EXPECT_EQ(w.lastEventCode, 101u);
  EXPECT_EQ(w.payloadA, 16u);
  EXPECT_EQ(w.payloadB, 16u);
  clearKeyPresses(w);
  EXPECT_EQ(w.pendingPresses[17], 0);
}

TEST(TypedTextTest, SurrogatePairsJoinAndLoneHalvesAreDropped) {
  WindowState w;
  handleCharUnit(w, 0xD83D);
  handleCharUnit(w, 0xDE00);  // U+1F600
  EXPECT_EQ(w.typedText, "\xF0\x9F\x98\x80");
  EXPECT_EQ(w.typedCount, 1u);
  handleCharUnit(w, 0xDC00);  // lone low half
  EXPECT_EQ(w.typedText.size(), 4u);
  handleCharUnit(w, 0xD800);
  handleCharUnit(w, 'x');  // the waiting high half is lost, the character kept
  EXPECT_EQ(w.typedText, "\xF0\x9F\x98\x80x");
  EXPECT_EQ(w.pendingHighSurrogate, 0);
}

TEST(TypedTextTest, ControlCharactersAndInvalidValuesNeverEnterTheText) {
  WindowState w;
  for (std::uint32_t unit : {0x0Du, 0x09u, 0x08u, 0x1Bu, 0x7Fu, 0x1Fu}) handleCharUnit(w, unit);
  appendTypedCodePoint(w, 0x110000);
  appendTypedCodePoint(w, 0xD800);
  appendTypedCodePoint(w, 0x1'0000'0041ull);  // not narrowed to 'A'
  EXPECT_EQ(w.typedText, "");
  handleCharUnit(w, 0xD83D);
  handleCharUnit(w, 0x1DC00);  // above 0xFFFF: not a unit, not cut down to a low surrogate
  EXPECT_EQ(w.typedText, "");
  EXPECT_EQ(w.pendingHighSurrogate, 0);
  appendTypedCodePoint(w, 0x10FFFF);
  EXPECT_EQ(w.typedText, "\xF4\x8F\xBF\xBF");
}

TEST(TypedTextTest, TheTextStopsAt512BytesAWholeCharacterAtATime) {
  WindowState w;
  w.typedText.assign(511, 'a');
  handleCharUnit(w, 0xE9);  // two bytes: does not fit
  EXPECT_EQ(w.typedText.size(), 511u);
  handleCharUnit(w, 'b');
  EXPECT_EQ(w.typedText.size(), 512u);
  EXPECT_EQ(w.typedText.back(), 'b');
  handleCharUnit(w, 'c');
  EXPECT_EQ(w.typedText.size(), 512u);
  EXPECT_EQ(w.typedCount, 1u);
}

// Types a string of printable ASCII and the keys between its characters as the window
// procedure sees them: a fresh key down, then the character it translates to.
void typeKey(WindowState& w, std::uint32_t virtualKey) {
  recordKeyEvent(w, virtualKey, kFreshDown, true);
  recordKeyEvent(w, virtualKey, 0xC0000001, false);
}
void typeChar(WindowState& w, char c) {
  recordKeyEvent(w, static_cast<std::uint8_t>(c), kFreshDown, true);
  handleCharUnit(w, static_cast<std::uint8_t>(c));
}

InputEvent text(const char* typed) { return InputEvent{InputEvent::Kind::kText, typed, 0, {}, 0}; }
InputEvent key(std::int32_t virtualKey) { return InputEvent{InputEvent::Kind::kKey, {}, virtualKey, {}, 0}; }
InputEvent press(std::int32_t x, std::int32_t y, std::uint32_t time) {
  return InputEvent{InputEvent::Kind::kLeftPress, {}, 0, {x, y}, time};
}
using Events = std::vector<InputEvent>;

TEST(InputLogTest, TextKeysAndPressesComeBackInTheOrderTheyCame) {
  WindowState w;
  for (char c : std::string("abc")) typeChar(w, c);
  typeKey(w, 0x08);
  recordKeyEvent(w, 0x08, kAutoRepeat, true);  // a held key is one press
  recordLeftPress(w, 250, 186, 7000);
  typeChar(w, 'd');
  typeKey(w, 0x09);
  typeKey(w, 0x28);  // DOWN: not asked for, stays banked
  recordLeftPress(w, -3, 700, 7250);
  typeKey(w, 0x08);
  EXPECT_EQ(takeInput(w, {0x08, 0x09}), (Events{text("abc"), key(0x08), press(250, 186, 7000), text("d"), key(0x09),
                                                press(-3, 700, 7250), key(0x08)}));
  EXPECT_EQ(w.typedText, "");
  EXPECT_TRUE(w.inputLog.empty());
  EXPECT_EQ(w.pendingPresses[0x08] + w.pendingPresses[0x09], 0);
  EXPECT_TRUE(takeKeyPress(w, 0x28));
  EXPECT_TRUE(takeInput(w, {0x08, 0x09}).empty());  // nothing came since
}

TEST(InputLogTest, PressesTakenOrLostElsewhereAreNotReturnedTwice) {
  WindowState w;
  typeChar(w, 'a');
  typeKey(w, 0x08);
  typeChar(w, 'b');
  typeKey(w, 0x08);
  EXPECT_TRUE(takeKeyPress(w, 0x08));  // one press already taken by a key query
  EXPECT_EQ(takeInput(w, {0x08}), (Events{text("a"), key(0x08), text("b")}));

  // Focus loss clears the key bank and the logged keys; the typed text and the clicks stay.
  typeChar(w, 'c');
  typeKey(w, 0x08);
  recordLeftPress(w, 1, 2, 9);
  clearKeyPresses(w);
  EXPECT_EQ(takeInput(w, {0x08}), (Events{text("c"), press(1, 2, 9)}));

  // Text taken on its own leaves the logged offsets behind: they are held to the text.
  typeChar(w, 'x');
  typeChar(w, 'y');
  typeKey(w, 0x08);
  w.typedText = "z";
  EXPECT_EQ(takeInput(w, {0x08}), (Events{text("z"), key(0x08)}));
}

TEST(InputLogTest, EachPressKeepsItsOwnTimeAcrossTheClocksWrap) {
  const std::uint32_t table[][2] = {{0, 0}, {500, 500}, {0xFFFFFFFFu, 3}, {9, 2}};
  for (const auto& [first, second] : table) {
    WindowState w;
    recordLeftPress(w, 4, 5, first);
    typeChar(w, 'a');
    recordLeftPress(w, 6, 7, second);
    EXPECT_EQ(takeInput(w, {}), (Events{press(4, 5, first), text("a"), press(6, 7, second)})) << first;
  }
}

TEST(InputLogTest, TheLogIsBoundedAndLosesNoKeyPressItCannotHold) {
  WindowState w;
  for (std::size_t i = 0; i < kKeyLogLimit; ++i)
    typeKey(w, 0x41 + static_cast<std::uint32_t>(i % 4));  // 128 presses of each of four keys
  typeChar(w, 'q');
  typeKey(w, 0x08);  // banked, but no longer logged: it counts after all the text
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(kLeftPressLimit) + 4; ++i) recordLeftPress(w, i, i, 0);
  EXPECT_EQ(w.inputLog.size(), kKeyLogLimit + kLeftPressLimit);
  Events expected = {text("q")};
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(kLeftPressLimit); ++i) expected.push_back(press(i, i, 0));
  expected.push_back(key(0x08));
  EXPECT_EQ(takeInput(w, {0x08}), expected);
}

TEST(CompositionTest, UnitsBecomeTextWithPairsJoined) {
  EXPECT_EQ(compositionFromUnits({'a', 0xD83D, 0xDE00, 'b'}),
            "a\xF0\x9F\x98\x80"
            "b");
  EXPECT_EQ(compositionFromUnits({0xDC00, 'a'}), "a");  // lone low half
  EXPECT_EQ(compositionFromUnits({0xD800, 'a'}), "a");  // high half before a non-low unit
  EXPECT_EQ(compositionFromUnits({0xD800, 0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
  EXPECT_EQ(compositionFromUnits({'a', 0xD800}), "a");  // trailing high half
  EXPECT_EQ(compositionFromUnits({0x0A, 0x7F, 0x20}), " ");
}

TEST(CompositionTest, CompositionStopsAt512Bytes) {
  std::string text(510, 'x');
  appendCompositionCodePoint(text, 0x4E2D);  // three bytes
  EXPECT_EQ(text.size(), 510u);
  appendCompositionCodePoint(text, 0xE9);
  EXPECT_EQ(text.size(), 512u);
}

TEST(CompositionTest, ImeByteCountsNeverGoNegativeOrPastTheBuffer) {
  EXPECT_EQ(imeUnitCount(-1), 0u);  // IMM_ERROR_NODATA
  EXPECT_EQ(imeUnitCount(-2), 0u);
  EXPECT_EQ(imeUnitCount(0), 0u);
  EXPECT_EQ(imeUnitCount(1), 0u);
  EXPECT_EQ(imeUnitCount(7), 3u);
  EXPECT_EQ(imeUnitCount(512), 256u);
  EXPECT_EQ(imeUnitCount(100000), 256u);
}

}  // namespace
}  // namespace canvas
