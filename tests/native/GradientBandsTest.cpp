#include "ui/GradientBands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qv {
namespace {

constexpr uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) |
         (static_cast<uint32_t>(b) << 16);
}
int Red(uint32_t rgb) {
  return static_cast<int>(rgb & 0xFF);
}
int Green(uint32_t rgb) {
  return static_cast<int>((rgb >> 8) & 0xFF);
}
int Blue(uint32_t rgb) {
  return static_cast<int>((rgb >> 16) & 0xFF);
}

constexpr uint32_t kBlue = Rgb(0, 0, 255);
constexpr uint32_t kBlack = Rgb(0, 0, 0);
constexpr uint32_t kWhite = Rgb(255, 255, 255);
constexpr uint32_t kRed = Rgb(255, 0, 0);
constexpr uint32_t kGreen = Rgb(0, 255, 0);

// Stored colour values: plain colours are stored as their red-green-blue
// value; a system colour has 0xFF in the high byte.
constexpr int32_t kBtnFace = static_cast<int32_t>(0xFF00000F);

GradientInput Input(int width, int height, uint32_t a, uint32_t b, bool horizontal) {
  GradientInput in;
  in.clientWidth = width;
  in.clientHeight = height;
  in.color1 = static_cast<int32_t>(a);
  in.color2 = static_cast<int32_t>(b);
  in.rgb1 = a;
  in.rgb2 = b;
  in.horizontal = horizontal;
  return in;
}

GradientInput ThreeColours(int width, int height, uint32_t a, uint32_t b, uint32_t c,
                           bool horizontal, int percent) {
  GradientInput in = Input(width, height, a, b, horizontal);
  in.color3 = static_cast<int32_t>(c);
  in.rgb3 = c;
  in.percent = percent;
  return in;
}

// The bands whose rectangles start at the given left edge.
std::vector<GradientBand> StartingAtLeft(const std::vector<GradientBand>& bands, int left) {
  std::vector<GradientBand> found;
  for (const GradientBand& band : bands) {
    if (band.left == left)
      found.push_back(band);
  }
  return found;
}

TEST(GradientBands, BackgroundAtDesignSizeHasTwoRowBandsFromBlueToBlack) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(Input(688, 454, kBlue, kBlack, false));
  // Thickness 2, 227 bands and one more that takes the (empty) remainder.
  ASSERT_EQ(bands.size(), 228u);
  for (size_t i = 0; i < bands.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bands[i].left, 0);
    EXPECT_EQ(bands[i].right, 688);
    EXPECT_EQ(bands[i].top, static_cast<int>(2 * i));
    EXPECT_EQ(Red(bands[i].rgb), 0);
    EXPECT_EQ(Green(bands[i].rgb), 0);
  }
  EXPECT_EQ(bands[0].bottom, 2);
  EXPECT_EQ(Blue(bands[0].rgb), 255);
  EXPECT_EQ(Blue(bands[1].rgb), 254);
  EXPECT_EQ(Blue(bands[2].rgb), 253);
  EXPECT_EQ(bands[100].top, 200);
  EXPECT_EQ(bands[100].bottom, 202);
  EXPECT_EQ(Blue(bands[100].rgb), 143);
  EXPECT_EQ(bands[226].top, 452);
  EXPECT_EQ(bands[226].bottom, 454);
  EXPECT_EQ(Blue(bands[226].rgb), 2);
  EXPECT_EQ(bands[227].top, 454);
  EXPECT_EQ(bands[227].bottom, 454) << "the last band is empty";
}

TEST(GradientBands, BlueNeverRisesDownTheBackground) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(Input(688, 454, kBlue, kBlack, false));
  for (size_t i = 1; i < bands.size(); ++i) {
    EXPECT_LE(Blue(bands[i].rgb), Blue(bands[i - 1].rgb)) << i;
    EXPECT_EQ(bands[i].top, bands[i - 1].bottom) << "bands touch without gap or overlap";
  }
}

TEST(GradientBands, WhiteToBlackOverHundredPixelsEndsAtThree) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(Input(100, 20, kWhite, kBlack, true));
  ASSERT_EQ(bands.size(), 101u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(bands[i].left, i);
    EXPECT_EQ(bands[i].right, i + 1) << "one pixel per band";
    EXPECT_EQ(bands[i].top, 0);
    EXPECT_EQ(bands[i].bottom, 20);
  }
  EXPECT_EQ(bands[0].rgb, kWhite);
  // 255 + (-255 x 50) div 100 = 255 - 127.
  EXPECT_EQ(bands[50].rgb, Rgb(128, 128, 128));
  EXPECT_EQ(bands[99].rgb, Rgb(3, 3, 3));
  EXPECT_EQ(bands[100].left, 100);
  EXPECT_EQ(bands[100].right, 100) << "the band past the end is empty";
}

TEST(GradientBands, FewColourStepsGiveThickBandsAndOneFillPerStep) {
  // Ten steps of red over 100 pixels: bands of ten pixels, red rising by one.
  const std::vector<GradientBand> bands =
      ComputeGradientBands(Input(100, 5, kBlack, Rgb(10, 0, 0), true));
  ASSERT_EQ(bands.size(), 11u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(bands[i].left, 10 * i);
    EXPECT_EQ(bands[i].right, 10 * i + 10);
    EXPECT_EQ(bands[i].rgb, Rgb(i, 0, 0));
  }
  EXPECT_EQ(bands[10].left, bands[10].right);
}

TEST(GradientBands, LastBandTakesTheRemainder) {
  // 255 steps over 300 pixels: thickness (255 + 299) x 100 div 25500 = 2,
  // 150 bands of two pixels fill exactly; 301 pixels leave one pixel over.
  const std::vector<GradientBand> exact = ComputeGradientBands(Input(300, 4, kWhite, kBlack, true));
  ASSERT_EQ(exact.size(), 151u);
  EXPECT_EQ(exact[149].right, 300);
  EXPECT_EQ(exact[150].left, exact[150].right);
  const std::vector<GradientBand> over = ComputeGradientBands(Input(301, 4, kWhite, kBlack, true));
  ASSERT_EQ(over.size(), 151u);
  EXPECT_EQ(over[150].left, 300);
  EXPECT_EQ(over[150].right, 301);
}

TEST(GradientBands, NoSegmentHasMoreBandsThanColourStepsPlusOne) {
  for (int length : {1, 2, 255, 256, 257, 454, 1000, 4000}) {
    const std::vector<GradientBand> bands =
        ComputeGradientBands(Input(length, 3, kWhite, kBlack, true));
    EXPECT_LE(bands.size(), 256u) << length;
    ASSERT_FALSE(bands.empty()) << length;
    EXPECT_EQ(bands.front().left, 0) << length;
    EXPECT_EQ(bands.back().right, length) << "the bands cover the whole length " << length;
  }
}

TEST(GradientBands, HalfPercentSplitsOddWidthIntoHundredFiftyAndHundredFiftyOne) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(ThreeColours(301, 10, kRed, kBlack, kGreen, true, 50));
  // Both segments have more steps than pixels: one band per pixel each, plus
  // an empty one at each segment's end.
  ASSERT_EQ(bands.size(), 151u + 152u);
  EXPECT_EQ(bands[0].rgb, kRed);
  EXPECT_EQ(bands[149].left, 149);
  EXPECT_EQ(bands[149].rgb, Rgb(2, 0, 0));  // 255 + (-170 x 149) div 100
  EXPECT_EQ(bands[150].left, bands[150].right) << "end of the first segment";
  EXPECT_EQ(bands[150].left, 150);
  const GradientBand& second = bands[151];
  EXPECT_EQ(second.left, 150);
  EXPECT_EQ(second.rgb, kBlack) << "the second segment starts at Color_2";
  EXPECT_EQ(bands[301].left, 300);
  EXPECT_EQ(bands[301].rgb, Rgb(0, 252, 0));  // (25500 div 151) x 150 div 100
  EXPECT_EQ(bands[302].left, 301);
  EXPECT_EQ(bands[302].right, 301);
}

TEST(GradientBands, OnePercentOfFiftyStillGivesTheFirstSegmentOnePixel) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(ThreeColours(50, 10, kRed, kBlack, kGreen, true, 1));
  ASSERT_EQ(StartingAtLeft(bands, 0).size(), 1u);
  EXPECT_EQ(bands[0].right, 1);
  EXPECT_EQ(bands[0].rgb, kRed);
  const std::vector<GradientBand> second = StartingAtLeft(bands, 1);
  ASSERT_FALSE(second.empty());
  // The first segment's empty band also starts at 1; the second's first band
  // is the one with width.
  EXPECT_EQ(second.back().rgb, kBlack);
  EXPECT_EQ(second.back().right, 2);
  EXPECT_EQ(bands.back().right, 50);
  EXPECT_EQ(bands[bands.size() - 2].rgb, Rgb(0, 249, 0));  // (25500 div 49) x 48 div 100
}

TEST(GradientBands, VerticalTwoSegmentsSplitTheHeight) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(ThreeColours(40, 100, kWhite, kBlack, kWhite, false, 30));
  std::vector<GradientBand> rows;
  for (const GradientBand& band : bands) {
    EXPECT_EQ(band.left, 0);
    EXPECT_EQ(band.right, 40);
    if (band.bottom > band.top)
      rows.push_back(band);
  }
  ASSERT_EQ(rows.size(), 100u) << "one row per band in both segments";
  for (int y = 0; y < 100; ++y)
    EXPECT_EQ(rows[y].top, y);
  EXPECT_EQ(rows[0].rgb, kWhite);
  EXPECT_EQ(rows[29].rgb, Rgb(9, 9, 9)) << "first segment: 30 rows, 255 + (-850 x 29) div 100";
  EXPECT_EQ(rows[30].rgb, kBlack) << "second segment starts at Color_2";
  EXPECT_EQ(rows[99].rgb, Rgb(251, 251, 251)) << "(25500 div 70) x 69 div 100";
}

TEST(GradientBands, PercentIsClampedToOneToHundred) {
  EXPECT_EQ(ClampPercent(0), 1);
  EXPECT_EQ(ClampPercent(-5), 1);
  EXPECT_EQ(ClampPercent(1), 1);
  EXPECT_EQ(ClampPercent(57), 57);
  EXPECT_EQ(ClampPercent(100), 100);
  EXPECT_EQ(ClampPercent(150), 100);
}

TEST(GradientBands, HundredPercentLeavesTheThirdColourOut) {
  const std::vector<GradientBand> bands =
      ComputeGradientBands(ThreeColours(100, 10, kWhite, kBlack, kRed, true, 100));
  ASSERT_EQ(bands.size(), 101u);
  EXPECT_EQ(bands.back().right, 100);
  for (const GradientBand& band : bands)
    EXPECT_EQ(Red(band.rgb), Green(band.rgb)) << "no band moves towards red";
}

TEST(GradientBands, EqualColoursPaintNothing) {
  EXPECT_TRUE(ComputeGradientBands(Input(100, 100, kWhite, kWhite, true)).empty());
  // Different stored values that resolve to the same colour: zero spread.
  GradientInput system = Input(100, 100, 0xC0C0C0, 0xC0C0C0, true);
  system.color1 = kBtnFace;
  EXPECT_TRUE(ComputeGradientBands(system).empty());
  // Equal first pair: only the second segment is painted.
  const std::vector<GradientBand> second =
      ComputeGradientBands(ThreeColours(200, 10, kWhite, kWhite, kBlack, true, 50));
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second.front().left, 100);
  EXPECT_EQ(second.front().rgb, kWhite);
  EXPECT_EQ(second.back().right, 200);
}

TEST(GradientBands, StoredValuesAreComparedNotResolvedOnes) {
  // The same stored value paints nothing even if the resolved values given
  // with it were to differ.
  GradientInput in = Input(100, 10, kWhite, kBlack, true);
  in.color1 = kBtnFace;
  in.color2 = kBtnFace;
  EXPECT_TRUE(ComputeGradientBands(in).empty());
}

TEST(GradientBands, EmptyOrNegativeAreaPaintsNothing) {
  EXPECT_TRUE(ComputeGradientBands(Input(0, 50, kWhite, kBlack, true)).empty());
  GradientInput inset = Input(4, 4, kWhite, kBlack, true);
  inset.inset = 2;
  EXPECT_TRUE(ComputeGradientBands(inset).empty()) << "a bevel wider than the panel";
}

TEST(GradientBands, BevelInsetShrinksEverySide) {
  GradientInput in = Input(104, 50, kWhite, kBlack, true);
  in.inset = 2;
  const std::vector<GradientBand> bands = ComputeGradientBands(in);
  ASSERT_EQ(bands.size(), 101u) << "100 pixels remain between the bevels";
  for (const GradientBand& band : bands) {
    EXPECT_EQ(band.top, 2);
    EXPECT_EQ(band.bottom, 48);
  }
  EXPECT_EQ(bands.front().left, 2);
  EXPECT_EQ(bands[99].right, 102);
  EXPECT_EQ(bands[99].rgb, Rgb(3, 3, 3));

  GradientInput vertical = Input(30, 60, kWhite, kBlack, false);
  vertical.inset = 3;
  const std::vector<GradientBand> rows = ComputeGradientBands(vertical);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front().top, 3);
  EXPECT_EQ(rows.front().left, 3);
  EXPECT_EQ(rows.front().right, 27);
  EXPECT_EQ(rows.back().bottom, 57);
}

}  // namespace
}  // namespace qv
