#include "layout/anchor_math.h"

#include <gtest/gtest.h>

namespace {

// The main window as designed: 686 x 637 at (50, 50), a frame of 8 on each side, caption and
// menu above the client area (670 x 580 here).
const Rect kWindow{50, 50, 736, 687};
constexpr int32_t kClientWidth = 670, kClientHeight = 580;
constexpr int32_t kFrame = 8, kTopBand = 637 - 580 - 8;

Rect ControlAt(int32_t x, int32_t y, int32_t w, int32_t h) {
  return {kWindow.left + kFrame + x, kWindow.top + kTopBand + y, kWindow.left + kFrame + x + w,
          kWindow.top + kTopBand + y + h};
}

struct Anchored {
  AnchorGeometry g;
  AnchorFlags flags;
};

Anchored DocumentBox() {
  return {MeasureAnchor(kWindow, kClientWidth, kClientHeight, ControlAt(16, 56, 656, 280)), {true, true, true, true}};
}
Anchored TagList() {
  return {MeasureAnchor(kWindow, kClientWidth, kClientHeight, ControlAt(16, 360, 160, 216)), {true, false, false, true}};
}
Anchored ResultBox() {
  return {MeasureAnchor(kWindow, kClientWidth, kClientHeight, ControlAt(192, 360, 472, 216)), {true, false, true, true}};
}

Placement At(const Anchored& a, int32_t w, int32_t h) { return PlaceAnchored(a.g, a.flags, w, h); }

}  // namespace

TEST(AnchorMath, MeasuresPlaceAndMarginsInTheClientArea) {
  AnchorGeometry g = MeasureAnchor(kWindow, kClientWidth, kClientHeight, ControlAt(16, 56, 656, 280));
  EXPECT_EQ(g.left, 16);
  EXPECT_EQ(g.top, 56);
  EXPECT_EQ(g.width, 656);
  EXPECT_EQ(g.height, 280);
  EXPECT_EQ(g.right_margin, kClientWidth - 16 - 656);
  EXPECT_EQ(g.bottom_margin, kClientHeight - 56 - 280);
  // An odd difference of window and client width halves with truncation: 9 gives a frame of 4.
  AnchorGeometry odd = MeasureAnchor({0, 0, 109, 100}, 100, 80, {10, 30, 20, 40});
  EXPECT_EQ(odd.left, 6);
  EXPECT_EQ(odd.top, 30 - (100 - 80 - 4));
}

TEST(AnchorMath, DesignedSizeGivesTheDesignedLayout) {
  EXPECT_EQ(At(DocumentBox(), kClientWidth, kClientHeight), (Placement{16, 56, 656, 280}));
  EXPECT_EQ(At(TagList(), kClientWidth, kClientHeight), (Placement{16, 360, 160, 216}));
  EXPECT_EQ(At(ResultBox(), kClientWidth, kClientHeight), (Placement{192, 360, 472, 216}));
}

TEST(AnchorMath, WiderAndTallerStretchAndMoveByTheSameAmount) {
  for (int32_t d : {100, -50, 1}) {
    EXPECT_EQ(At(DocumentBox(), kClientWidth + d, kClientHeight + d), (Placement{16, 56, 656 + d, 280 + d}));
    EXPECT_EQ(At(TagList(), kClientWidth + d, kClientHeight + d), (Placement{16, 360 + d, 160, 216}));
    EXPECT_EQ(At(ResultBox(), kClientWidth + d, kClientHeight + d), (Placement{192, 360 + d, 472 + d, 216}));
  }
}

TEST(AnchorMath, EmptyClientAreaGivesNegativeSizesUnchanged) {
  Placement doc = At(DocumentBox(), 0, 0);
  EXPECT_EQ(doc.width, 0 - 16 - (kClientWidth - 16 - 656));
  EXPECT_LT(doc.height, 0);
  EXPECT_EQ(At(TagList(), 0, 0).y, 360 - kClientHeight);
}

TEST(AnchorMath, RightOnlyMovesAcross) {
  AnchorGeometry g{10, 10, 30, 40, 50, 20};
  EXPECT_EQ(PlaceAnchored(g, {false, true, true, false}, 200, 100), (Placement{120, 10, 50, 20}));
  EXPECT_EQ(PlaceAnchored(g, {true, true, false, false}, 200, 100), (Placement{10, 10, 50, 20}));
}
