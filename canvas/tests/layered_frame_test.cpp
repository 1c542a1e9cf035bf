// Limits, budget and pixel conversion of layered presentation.
#include "canvas/layered_frame.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace canvas {
namespace {

TEST(LayeredFrameTest, SizeLimit) {
  EXPECT_TRUE(layeredFrameAllowed(2048, 2048));
  EXPECT_FALSE(layeredFrameAllowed(2049, 100));
  EXPECT_FALSE(layeredFrameAllowed(100, 2049));
}

TEST(LayeredFrameTest, FourFullSizeFramesFitTheBudgetAndAFifthDoesNot) {
  const std::uint64_t dib = 2048ull * 2048 * 4;
  std::uint64_t total = 0;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(layeredBudgetAllows(total, dib, 0)) << i;
    total += dib;
  }
  EXPECT_EQ(total, kLayeredBudgetBytes);
  EXPECT_FALSE(layeredBudgetAllows(total, dib, 0));
  EXPECT_TRUE(layeredBudgetAllows(total, dib, dib));  // replacing a window's own DIB of the same size
}

TEST(LayeredFrameTest, PixelsBecomePremultipliedSrgbFromEitherFramebuffer) {
  // Two rows of two BGRA pixels, bottom-up: row 0 is the bottom of the screen. The last pixel is
  // premultiplied white at alpha 128 as each framebuffer holds it: encoded linear light (188) on
  // an sRGB framebuffer, the sRGB byte itself (128) on the other.
  struct Case {
    bool srgbFramebuffer;
    std::uint8_t halfWhite;
  };
  for (const Case c : {Case{true, 188}, Case{false, 128}}) {
    SCOPED_TRACE(c.srgbFramebuffer ? "sRGB framebuffer" : "plain framebuffer");
    std::vector<std::uint8_t> pixels = {
        10, 20, 30, 255, 0,           0,           0,           0,   // bottom row
        1,  2,  3,  255, c.halfWhite, c.halfWhite, c.halfWhite, 128  // top row
    };
    convertLayeredPixels(pixels.data(), 4, c.srgbFramebuffer);
    const std::vector<std::uint8_t> expected = {10, 20, 30, 255, 0, 0, 0, 0, 1, 2, 3, 255, 128, 128, 128, 128};
    EXPECT_EQ(pixels, expected);
    EXPECT_EQ(layeredTopLeftPixel(pixels.data(), 2, 2), 0xFF030201u);
  }
  // A transparent pixel of an sRGB framebuffer becomes 0, 0, 0, 0 whatever its colour bytes.
  std::vector<std::uint8_t> transparent = {99, 99, 99, 0};
  convertLayeredPixels(transparent.data(), 1, true);
  EXPECT_EQ(transparent, (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

}  // namespace
}  // namespace canvas
