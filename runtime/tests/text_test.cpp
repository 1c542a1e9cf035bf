// Placeholder formatting, integer and boolean text, byte conversions, slicing and the strict
// UTF-8 test.
#include "runtime/text.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace runtime {
namespace {

Text bytesText(std::initializer_list<unsigned> bytes) {
  Text text;
  for (unsigned byte : bytes) text.push_back(static_cast<char>(byte));
  return text;
}

// The exception a call throws, or a failure when it throws something else or nothing.
template <typename Exception, typename Call>
std::string messageOf(Call&& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "expected an exception";
  return {};
}

TEST(FormatTextTest, ReplacesPlaceholdersInAnyOrderAndRepetition) {
  EXPECT_EQ(formatText("{0}-{1}", {"animal", "3"}), "animal-3");
  EXPECT_EQ(formatText("{1}{0}{1}", {"a", "b"}), "bab");
  EXPECT_EQ(formatText("no placeholders", {"a"}), "no placeholders");
  EXPECT_EQ(formatText("{0}", {""}), "");
  EXPECT_EQ(formatText("x{0}y{0}z", {"-"}), "x-y-z");
}

TEST(FormatTextTest, EmptyTemplateGivesEmptyText) {
  EXPECT_EQ(formatText("", {}), "");
  EXPECT_EQ(formatText("", {"a", "b"}), "");
}

TEST(FormatTextTest, MalformedAndMissingPlaceholdersStayLiteral) {
  const std::vector<Text> one = {"a"};
  for (const char* templ : {"{2}", "{}", "{x}", "{-1}", "{ 0}", "{0 }", "{+1}", "abc{", "{0", "{{"}) {
    EXPECT_EQ(formatText(templ, one), templ) << templ;
  }
  EXPECT_EQ(formatText("}{0}", one), "}a");
  EXPECT_EQ(formatText("{1}", {}), "{1}");
}

TEST(FormatTextTest, RescansRightAfterARejectedBrace) {
  EXPECT_EQ(formatText("{a{0}", {"A"}), "{aA");
  EXPECT_EQ(formatText("{{0}}", {"A"}), "{A}");
  EXPECT_EQ(formatText("{x}{0}{", {"A"}), "{x}A{");
  EXPECT_EQ(formatText("{{{1}", {"A", "B"}), "{{B");
}

TEST(FormatTextTest, LeadingZerosNameTheSameArgument) {
  const std::vector<Text> args = {"a", "b", "c", "d", "e", "f", "g", "h"};
  EXPECT_EQ(formatText("{007}", args), "h");
  EXPECT_EQ(formatText("{00}", args), "a");
  EXPECT_EQ(formatText("{0000000000000000000000000001}", args), "b");
  // Leading zeros do not count towards the 64-bit limit.
  EXPECT_EQ(formatText("{0000000000000000000000018446744073709551615}", args),
            "{0000000000000000000000018446744073709551615}");
}

TEST(FormatTextTest, ArgumentsAreNotRescanned) {
  EXPECT_EQ(formatText("{0}", {"{1}", "z"}), "{1}");
  EXPECT_EQ(formatText("{0}{1}", {"{", "0}"}), "{0}");
}

TEST(FormatTextTest, LargestNumberIsLiteralOnePastItFailsWithStoull) {
  EXPECT_EQ(formatText("<{18446744073709551615}>", {"a"}), "<{18446744073709551615}>");
  EXPECT_EQ(messageOf<std::out_of_range>([] { formatText("{18446744073709551616}", {"a"}); }), "stoull");
  EXPECT_EQ(messageOf<std::out_of_range>([] { formatText("{0}{99999999999999999999}", {"a"}); }), "stoull");
  // The number after the limit is still parsed only for a closed, all-digit placeholder.
  EXPECT_EQ(formatText("{18446744073709551616", {"a"}), "{18446744073709551616");
  EXPECT_EQ(formatText("{18446744073709551616x}", {"a"}), "{18446744073709551616x}");
}

TEST(FormatTextTest, ZeroBytesAndNonAsciiPassThrough) {
  const Text templ = bytesText({'[', '{', '0', '}', 0, 0xC3, 0xA9, ']'});
  const Text expected = bytesText({'[', 0xE2, 0x82, 0xAC, 0, 0xC3, 0xA9, ']'});
  EXPECT_EQ(formatText(templ, {bytesText({0xE2, 0x82, 0xAC})}), expected);
}

TEST(IntegerTextTest, IntToTextGivesPlainDecimal) {
  EXPECT_EQ(intToText(0), "0");
  EXPECT_EQ(intToText(7), "7");
  EXPECT_EQ(intToText(-42), "-42");
  EXPECT_EQ(intToText(std::numeric_limits<std::int32_t>::max()), "2147483647");
  EXPECT_EQ(intToText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
  EXPECT_EQ(intToText(1234567), formatText("{0}", {"1234567"}));
}

TEST(IntegerTextTest, BoolToText) {
  EXPECT_EQ(boolToText(true), "true");
  EXPECT_EQ(boolToText(false), "false");
}

TEST(ParseIntTest, ReadsOptionalMinusAndDigits) {
  EXPECT_EQ(parseInt("007"), 7);
  EXPECT_EQ(parseInt("-42"), -42);
  EXPECT_EQ(parseInt("0"), 0);
  EXPECT_EQ(parseInt("-0"), 0);
  EXPECT_EQ(parseInt("2147483647"), 2147483647);
  EXPECT_EQ(parseInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
}

TEST(ParseIntTest, AnythingElseGivesZero) {
  for (const char* text : {"", "-", "+5", " 5", "5 ", "12a", "--1", "1-", "0x10", "1.5"}) {
    EXPECT_EQ(parseInt(text), 0) << '"' << text << '"';
  }
  EXPECT_EQ(parseInt(bytesText({'1', 0, '2'})), 0);
  EXPECT_EQ(parseInt(bytesText({0xD9, 0xA3})), 0);  // ARABIC-INDIC DIGIT THREE is no ASCII digit
}

TEST(ParseIntTest, WrapsInThirtyTwoBits) {
  EXPECT_EQ(parseInt("2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(parseInt("4294967295"), -1);
  EXPECT_EQ(parseInt("4294967296"), 0);
  EXPECT_EQ(parseInt("4294967297"), 1);
  EXPECT_EQ(parseInt("-4294967295"), 1);
  EXPECT_EQ(parseInt("-2147483649"), 2147483647);
  EXPECT_EQ(parseInt("99999999999999999999"), static_cast<std::int32_t>(1661992959u));
}

TEST(TextFromUtf8Test, TakesTheRange) {
  const Bytes bytes = {0x61, 0x00, 0x62};
  EXPECT_EQ(textFromUtf8(bytes, 2, 1), "b");
  EXPECT_EQ(textFromUtf8(bytes, 0, 1), "a");
  EXPECT_EQ(textFromUtf8(bytes, 0, 0), "");
  EXPECT_EQ(textFromUtf8(bytes, 1, -5), "");
  EXPECT_EQ(textFromUtf8(Bytes{0xFF, 0xC0}, 0, 2), bytesText({0xFF, 0xC0}));  // no UTF-8 check
}

TEST(TextFromUtf8Test, RefusesAZeroByteInTheRange) {
  const Bytes bytes = {0x61, 0x00, 0x62};
  const std::string expected = "Text.FromUtf8 does not accept an embedded zero byte";
  EXPECT_EQ(messageOf<std::invalid_argument>([&] { textFromUtf8(bytes, 0, 3); }), expected);
  EXPECT_EQ(messageOf<std::invalid_argument>([&] { textFromUtf8(bytes, 1, 1); }), expected);
  EXPECT_EQ(messageOf<std::invalid_argument>([&] { textFromUtf8(bytes, 1, 2); }), expected);
}

TEST(TextFromUtf8Test, RangeOutsideTheBytesThrowsOutOfRange) {
  const Bytes bytes = {0x61, 0x62, 0x63};
  EXPECT_THROW(textFromUtf8(bytes, 0, 4), std::out_of_range);
  EXPECT_THROW(textFromUtf8(bytes, 3, 1), std::out_of_range);
  EXPECT_THROW(textFromUtf8(bytes, -1, 1), std::out_of_range);
  EXPECT_THROW(textFromUtf8(bytes, 2, std::numeric_limits<std::int32_t>::max()), std::out_of_range);
  EXPECT_THROW(textFromUtf8(Bytes{}, 0, 1), std::out_of_range);
  EXPECT_EQ(textFromUtf8(bytes, 3, 0), "");
  EXPECT_EQ(textFromUtf8(bytes, 1, 2), "bc");
}

TEST(TextToBytesTest, CopiesEveryByte) {
  EXPECT_EQ(textToBytes(bytesText({0, 0xFF, 'a'})), (Bytes{0x00, 0xFF, 0x61}));
  EXPECT_TRUE(textToBytes("").empty());
}

TEST(SliceTextTest, ClampsToTheText) {
  const Text text = "abcde";
  EXPECT_EQ(sliceText(text, 1, 3), "bc");
  EXPECT_EQ(sliceText(text, 3, 1), "");
  EXPECT_EQ(sliceText(text, 2, 99), "cde");
  EXPECT_EQ(sliceText(text, 9, 12), "");
  EXPECT_EQ(sliceText(text, 0, -1), "");
  EXPECT_EQ(sliceText(text, 0, 5), "abcde");
  EXPECT_EQ(sliceText(text, 5, 5), "");
  EXPECT_EQ(sliceText(text, std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max()), "");
  EXPECT_EQ(sliceText("", 0, 3), "");
}

TEST(SliceTextTest, NegativeStartThrowsOutOfRange) {
  EXPECT_THROW(sliceText("abc", -1, 2), std::out_of_range);
  EXPECT_THROW(sliceText("", std::numeric_limits<std::int64_t>::min(), 0), std::out_of_range);
}

TEST(StartsWithTest, ComparesBytes) {
  EXPECT_TRUE(startsWith("", ""));
  EXPECT_TRUE(startsWith("abc", ""));
  EXPECT_TRUE(startsWith("abc", "ab"));
  EXPECT_TRUE(startsWith("abc", "abc"));
  EXPECT_FALSE(startsWith("abc", "abcd"));
  EXPECT_FALSE(startsWith("abc", "Ab"));
  EXPECT_FALSE(startsWith("", "a"));
  EXPECT_TRUE(startsWith(bytesText({'a', 0, 'b'}), bytesText({'a', 0})));
  EXPECT_FALSE(startsWith(bytesText({'a', 0, 'b'}), bytesText({'a', 0, 'c'})));
}

TEST(ByteAtTest, GivesUnsignedBytesOrMinusOne) {
  EXPECT_EQ(byteAt("A", 0), 65);
  EXPECT_EQ(byteAt("A", 1), -1);
  EXPECT_EQ(byteAt("A", -1), -1);
  EXPECT_EQ(byteAt(bytesText({0xE9}), 0), 233);
  EXPECT_EQ(byteAt(bytesText({0}), 0), 0);
  EXPECT_EQ(byteAt("", 0), -1);
  EXPECT_EQ(byteAt("A", std::numeric_limits<std::int64_t>::min()), -1);
}

TEST(ByteConversionTest, ByteToUnsignedInt) {
  EXPECT_EQ(byteToUnsignedInt(-1), 255);
  EXPECT_EQ(byteToUnsignedInt(-128), 128);
  EXPECT_EQ(byteToUnsignedInt(0), 0);
  EXPECT_EQ(byteToUnsignedInt(127), 127);
}

TEST(ByteConversionTest, IntToSignedByteKeepsTheLowestEightBits) {
  EXPECT_EQ(intToSignedByte(200), -56);
  EXPECT_EQ(intToSignedByte(256), 0);
  EXPECT_EQ(intToSignedByte(-1), -1);
  EXPECT_EQ(intToSignedByte(127), 127);
  EXPECT_EQ(intToSignedByte(128), -128);
  EXPECT_EQ(intToSignedByte(std::numeric_limits<std::int32_t>::min()), 0);
  EXPECT_EQ(intToSignedByte(std::numeric_limits<std::int32_t>::max()), -1);
  for (int value = -128; value < 128; ++value) {
    EXPECT_EQ(intToSignedByte(byteToUnsignedInt(static_cast<std::int8_t>(value))), value);
  }
}

TEST(StrictUtf8Test, AcceptsWellFormedText) {
  EXPECT_TRUE(isStrictUtf8(""));
  EXPECT_TRUE(isStrictUtf8("plain ascii"));
  EXPECT_TRUE(isStrictUtf8(bytesText({0})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xC2, 0x80})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xDF, 0xBF})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xE0, 0xA0, 0x80})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xE2, 0x82, 0xAC})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xED, 0x9F, 0xBF})));  // U+D7FF, just below the surrogates
  EXPECT_TRUE(isStrictUtf8(bytesText({0xEE, 0x80, 0x80})));  // U+E000, just above them
  EXPECT_TRUE(isStrictUtf8(bytesText({0xEF, 0xBF, 0xBF})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xF0, 0x90, 0x80, 0x80})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xF0, 0x9F, 0x98, 0x80})));
  EXPECT_TRUE(isStrictUtf8(bytesText({0xF4, 0x8F, 0xBF, 0xBF})));
  EXPECT_TRUE(isStrictUtf8(bytesText({'a', 0xC3, 0xA9, 'b', 0xF0, 0x9F, 0x98, 0x80, 'c'})));
}

TEST(StrictUtf8Test, RefusesIllFormedText) {
  const std::vector<Text> bad = {
      bytesText({0xC0, 0x80}),              // overlong
      bytesText({0xC1, 0xBF}),              // overlong
      bytesText({0xE0, 0x9F, 0xBF}),        // overlong three-byte form
      bytesText({0xF0, 0x8F, 0xBF, 0xBF}),  // overlong four-byte form
      bytesText({0xED, 0xA0, 0x80}),        // surrogate
      bytesText({0xED, 0xBF, 0xBF}),        // surrogate
      bytesText({0xF4, 0x90, 0x80, 0x80}),  // above U+10FFFF
      bytesText({0xF5, 0x80, 0x80, 0x80}),
      bytesText({0xFF}),
      bytesText({0xE2, 0x82}),  // truncated at the end
      bytesText({0xF0, 0x9F, 0x98}),
      bytesText({0xC3}),
      bytesText({0x80}),  // lone continuation byte
      bytesText({'a', 0xBF}),
      bytesText({0xC3, 'a'}),  // lead byte followed by a non-continuation byte
      bytesText({0xE2, 0x82, 0x41}),
      bytesText({0xE2, 0xC2, 0xAC}),
  };
  for (const Text& text : bad) {
    std::string hex;
    for (unsigned char c : text) hex += std::to_string(c) + " ";
    EXPECT_FALSE(isStrictUtf8(text)) << hex;
  }
}

}  // namespace
}  // namespace runtime
