// sRGB tables, the clear-colour rule and the premultiplied conversion of layered frames.
#include "canvas/srgb_color.hpp"

#include <gtest/gtest.h>

namespace canvas {
namespace {

TEST(SrgbTableTest, KnownEntries) {
  const auto& t = srgbToLinearTable();
  EXPECT_EQ(t[0], 0.0f);
  EXPECT_EQ(t[255], 1.0f);
  EXPECT_NEAR(t[1], 0.000303527f, 1e-9f);
  EXPECT_NEAR(t[10], 0.00303527f, 1e-8f);
  EXPECT_NEAR(t[11], 0.00334654f, 1e-8f);
  EXPECT_NEAR(t[128], 0.2158605f, 1e-7f);
  for (int c = 1; c < 256; ++c) EXPECT_LT(t[c - 1], t[c]) << c;
  EXPECT_EQ(srgbToLinear(-40), 0.0f);
  EXPECT_EQ(srgbToLinear(900), 1.0f);
}

TEST(SrgbTableTest, ClearColourWithoutSrgbFramebuffer) {
  EXPECT_FLOAT_EQ(colorChannelToFloat(17, false), 17.0f / 255.0f);
  EXPECT_FLOAT_EQ(colorChannelToFloat(255, false), 1.0f);
  EXPECT_EQ(colorChannelToFloat(1, false), 1.0f);  // 1 is full intensity, not 1/255
  EXPECT_EQ(colorChannelToFloat(0, false), 0.0f);
  EXPECT_EQ(colorChannelToFloat(-3, false), 0.0f);
  EXPECT_EQ(colorChannelToFloat(1000, false), 1.0f);
  EXPECT_EQ(colorChannelToFloat(17, true), srgbToLinearTable()[17]);
}

TEST(PremultipliedTest, OpaqueChannelsComeBackUnchangedAndTransparentOnesVanish) {
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(linearToSrgbPremultiplied(static_cast<std::uint8_t>(c), 255), c) << c;
    EXPECT_EQ(linearToSrgbPremultiplied(static_cast<std::uint8_t>(c), 0), 0) << c;
  }
}

TEST(PremultipliedTest, HalfTransparentPixels) {
  // Framebuffer byte 188 is linear 0.5; at alpha 128 that is full intensity, premultiplied 128.
  EXPECT_EQ(linearToSrgbPremultiplied(188, 128), 128);
  // A channel brighter than its alpha allows is clamped to full intensity.
  EXPECT_EQ(linearToSrgbPremultiplied(255, 64), 64);
  EXPECT_EQ(linearToSrgbPremultiplied(0, 64), 0);
  for (int a = 1; a < 256; ++a) {
    EXPECT_LE(linearToSrgbPremultiplied(255, static_cast<std::uint8_t>(a)), a);
  }
}

}  // namespace
}  // namespace canvas
