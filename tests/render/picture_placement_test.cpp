// Where a renderer shows the picture and where the pointer lands in it:
// the rules every backend shares.
#include <gtest/gtest.h>

#include "render/picture_placement.h"

namespace {

TEST(PicturePlacement, BelowAWholeScaleOfOneThePictureIsScaledDownNeverLeftOut)
{
    // 640x480 in a 600x400 window: 533x400, centred, nearest on a software
    // rasteriser, filtered elsewhere; copied pixel for pixel it cannot show.
    for (TPlacementRule rule : {TPlacementRule::SOFTWARE, TPlacementRule::ANY_SCALE}) {
        TPlacement p = PlacePicture(640, 480, 600, 400, rule);
        EXPECT_EQ(p.x * 1000 + p.y, 33 * 1000 + 0);
        EXPECT_EQ(p.w * 1000 + p.h, 533 * 1000 + 400);
        EXPECT_EQ(p.scale, 0);
        EXPECT_EQ(p.filtered, rule == TPlacementRule::ANY_SCALE);
    }
    EXPECT_EQ(PlacePicture(640, 480, 600, 400, TPlacementRule::WHOLE_ONLY).w, 0);

    // Above 1 nothing changes: whole scales stay sharp, a software rasteriser
    // keeps to them, hardware fills the screen filtered.
    TPlacement whole = PlacePicture(640, 480, 1280, 1024, TPlacementRule::ANY_SCALE);
    EXPECT_EQ(whole.scale, 2);
    EXPECT_EQ(whole.y, 32);
    EXPECT_FALSE(whole.filtered);
    TPlacement soft = PlacePicture(640, 480, 1600, 1000, TPlacementRule::SOFTWARE);
    EXPECT_EQ(soft.scale, 2);
    EXPECT_EQ(soft.x * 1000 + soft.y, 160 * 1000 + 20);
    TPlacement hard = PlacePicture(640, 480, 1600, 1000, TPlacementRule::ANY_SCALE);
    EXPECT_EQ(hard.w * 10000 + hard.h, 1333 * 10000 + 1000);
    EXPECT_TRUE(hard.filtered);
}

TEST(PicturePlacement, ThePointerLandsInTheGamePixelUnderIt)
{
    TPlacement p = PlacePicture(640, 480, 600, 400, TPlacementRule::SOFTWARE);
    TPointerMapping m = MappingFor(p, 640, 600, 600, nullptr);
    EXPECT_LT(WindowToGameX(m, 32), 0) << "the bar";
    EXPECT_EQ(WindowToGameX(m, 33), 0);
    EXPECT_EQ(WindowToGameX(m, 566), 640) << "the bar";
    EXPECT_EQ(WindowToGameY(m, 399), 479);
    EXPECT_EQ(WindowToGameX(m, GameToWindowX(m, 300)), 300);
    // A display of two pixels per window unit: the same picture, half the units.
    TPointerMapping hidpi = MappingFor(p, 640, 300, 600, nullptr);
    EXPECT_EQ(hidpi.offset_x, 16.5);
    EXPECT_EQ(hidpi.scale, m.scale / 2);

    int w = 0, h = 0;
    MinimumWindowSize(640, 480, true, w, h);
    EXPECT_EQ(w * 1000 + h, 320 * 1000 + 240);
    MinimumWindowSize(640, 480, false, w, h);
    EXPECT_EQ(w * 1000 + h, 640 * 1000 + 480);
}

}  // namespace
