// The strict UTF-8 / UTF-16 conversions of the Win32 side.
#include "runtime/utf16.hpp"

#include <gtest/gtest.h>

#include <string>

namespace runtime {
namespace {

TEST(Utf16Test, ConvertsWellFormedText) {
  EXPECT_EQ(utf8ToUtf16("plain"), L"plain");
  EXPECT_EQ(utf8ToUtf16("caf\xC3\xA9"), L"caf\x00E9");
  EXPECT_EQ(utf8ToUtf16("\xE2\x82\xAC"), L"\x20AC");
  EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80"), L"\xD83D\xDE00");
  EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), L"\xDBFF\xDFFF");

  EXPECT_EQ(utf16ToUtf8(L"plain"), "plain");
  EXPECT_EQ(utf16ToUtf8(L"caf\x00E9"), "caf\xC3\xA9");
  EXPECT_EQ(utf16ToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16ToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf16Test, EmptyStaysEmpty) {
  EXPECT_EQ(utf8ToUtf16(""), L"");
  EXPECT_EQ(utf16ToUtf8(L""), "");
}

TEST(Utf16Test, InvalidUtf8GivesEmpty) {
  for (const std::string& text :
       {std::string("a\xC0\x80"), std::string("\x80"), std::string("a\xED\xA0\x80"), std::string("\xE2\x82"),
        std::string("\xF4\x90\x80\x80"), std::string("\xFF"), std::string("\xE0\x9F\xBF")}) {
    EXPECT_EQ(utf8ToUtf16(text), L"") << text.size();
  }
}

TEST(Utf16Test, UnpairedSurrogateGivesEmpty) {
  EXPECT_EQ(utf16ToUtf8(L"a\xD800z"), "");
  EXPECT_EQ(utf16ToUtf8(L"\xDC00"), "");
  EXPECT_EQ(utf16ToUtf8(L"\xDE00\xD83D"), "");
  EXPECT_EQ(utf16ToUtf8(L"x\xD83D"), "");
}

TEST(Utf16Test, LengthLimits) {
  EXPECT_EQ(utf8ToUtf16(std::string(32768, 'a')).size(), 32768u);
  EXPECT_EQ(utf8ToUtf16(std::string(32769, 'a')), L"");
  EXPECT_EQ(utf16ToUtf8(std::wstring(32768, L'\x20AC')).size(), 98304u);
  // 43690 three-byte characters are 131070 bytes: beyond the 131068-byte text limit.
  EXPECT_EQ(utf16ToUtf8(std::wstring(43689, L'\x20AC')).size(), 131067u);
  EXPECT_EQ(utf16ToUtf8(std::wstring(43690, L'\x20AC')), "");
}

TEST(Utf16Test, TheLenientConversionReplacesUnpairedSurrogates) {
  EXPECT_EQ(utf16ToUtf8Replacing(L"a\xD83D\xDE00"), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(utf16ToUtf8Replacing(L"x\xD83D"), "x\xEF\xBF\xBD");
  EXPECT_EQ(utf16ToUtf8Replacing(L"\xDC00y"), "\xEF\xBF\xBDy");
  EXPECT_EQ(utf16ToUtf8Replacing(L""), "");
  EXPECT_EQ(utf16ToUtf8Replacing(std::wstring(32768, L'a')).size(), 32768u);
  EXPECT_EQ(utf16ToUtf8Replacing(std::wstring(32769, L'a')), "");
}

TEST(Utf16Test, RoundTripsEveryPlaneSample) {
  std::string text;
  for (const char* piece : {"A", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF",
                            "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    text += piece;
  }
  EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(text)), text);
}

}  // namespace
}  // namespace runtime
