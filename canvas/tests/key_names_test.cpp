// Key and button names of the polling queries.
#include "canvas/key_names.hpp"

#include <gtest/gtest.h>

namespace canvas {
namespace {

TEST(KeyNamesTest, LettersDigitsAndFunctionKeysMapToTheirVirtualKeys) {
  EXPECT_EQ(virtualKeyForName("a"), 0x41);
  EXPECT_EQ(virtualKeyForName("Z"), 0x5A);
  EXPECT_EQ(virtualKeyForName("0"), 0x30);
  EXPECT_EQ(virtualKeyForName("9"), 0x39);
  EXPECT_EQ(virtualKeyForName("F1"), 0x70);
  EXPECT_EQ(virtualKeyForName("f9"), 0x78);
  EXPECT_EQ(virtualKeyForName("F10"), 0x79);
  EXPECT_EQ(virtualKeyForName("f12"), 0x7B);
}

TEST(KeyNamesTest, NamedKeysIgnoreCase) {
  EXPECT_EQ(virtualKeyForName("TAB"), 0x09);
  EXPECT_EQ(virtualKeyForName("Tab"), 0x09);
  EXPECT_EQ(virtualKeyForName("BACKSPACE"), 0x08);
  EXPECT_EQ(virtualKeyForName("ESCAPE"), 0x1B);
  EXPECT_EQ(virtualKeyForName("esc"), 0x1B);
  EXPECT_EQ(virtualKeyForName("Enter"), 0x0D);
  EXPECT_EQ(virtualKeyForName("return"), 0x0D);
  EXPECT_EQ(virtualKeyForName("UP"), 0x26);
  EXPECT_EQ(virtualKeyForName("DOWN"), 0x28);
  EXPECT_EQ(virtualKeyForName("left"), 0x25);
  EXPECT_EQ(virtualKeyForName("right"), 0x27);
  EXPECT_EQ(virtualKeyForName("space"), 0x20);
  EXPECT_EQ(virtualKeyForName("home"), 0x24);
  EXPECT_EQ(virtualKeyForName("end"), 0x23);
  EXPECT_EQ(virtualKeyForName("PageUp"), 0x21);
  EXPECT_EQ(virtualKeyForName("pagedown"), 0x22);
  EXPECT_EQ(virtualKeyForName("Shift"), 0x10);
}

TEST(KeyNamesTest, UnknownNamesMapToNothing) {
  for (const char* name : {"", "f0", "f13", "f1x", "!", " ", "tabs", "escape ", "ctrl", "\xC3\xA9"}) {
    EXPECT_EQ(virtualKeyForName(name), 0) << name;
  }
}

TEST(KeyNamesTest, ButtonNames) {
  EXPECT_EQ(virtualButtonForName("LEFT"), 0x01);
  EXPECT_EQ(virtualButtonForName("primary"), 0x01);
  EXPECT_EQ(virtualButtonForName("l"), 0x01);
  EXPECT_EQ(virtualButtonForName("Right"), 0x02);
  EXPECT_EQ(virtualButtonForName("secondary"), 0x02);
  EXPECT_EQ(virtualButtonForName("R"), 0x02);
  EXPECT_EQ(virtualButtonForName("middle"), 0x04);
  EXPECT_EQ(virtualButtonForName("m"), 0x04);
  EXPECT_EQ(virtualButtonForName("x1"), 0);
  EXPECT_EQ(virtualButtonForName(""), 0);
}

}  // namespace
}  // namespace canvas
