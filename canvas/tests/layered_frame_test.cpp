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

TEST(LayeredFrameTest, PixelsArePremultipliedAndTheTopLeftSampleIsTheLastRow) {
  // Two rows of two BGRA pixels, bottom-up: row 0 is the bottom of the screen.
  std::vector<std::uint8_t> pixels = {
      10, 20, 30, 255, 99,  99,  99,  0,   // bottom row
      1,  2,  3,  255, 255, 255, 255, 128  // top row
  };
  premultiplyLayeredPixels(pixels.data(), 4);
  EXPECT_EQ(pixels[0], 10);
  EXPECT_EQ(pixels[2], 30);
  EXPECT_EQ(pixels[4], 0);  // transparent pixel becomes 0, 0, 0, 0
  EXPECT_EQ(pixels[7], 0);
  EXPECT_EQ(pixels[12], 128);  // white at half alpha
  EXPECT_EQ(pixels[15], 128);
  EXPECT_EQ(layeredTopLeftPixel(pixels.data(), 2, 2), 0xFF030201u);
}

}  // namespace
}  // namespace canvas
