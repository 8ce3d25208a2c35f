// Where a renderer shows the picture: the rules every backend shares.
#include <gtest/gtest.h>

#include "render/picture_placement.h"

using namespace kelvora;

namespace {

TEST(PicturePlacement, BelowAWholeScaleOfOneThePictureIsScaledDownNeverLeftOut)
{
    // 640x480 in a 600x400 window: 533x400, centred, nearest on a software
    // rasteriser, filtered elsewhere; copied pixel for pixel it cannot show.
    for (TPlacementRule rule : {TPlacementRule::SOFTWARE, TPlacementRule::ANY_SCALE}) {
        TPlacement p = PlacePicture(640, 480, 600, 400, rule);
        EXPECT_EQ(p.x * 1000 + p.y, 33 * 1000 + 0);
        EXPECT_EQ(p.w * 1000 + p.h, 533 * 1000 + 400);
        EXPECT_EQ(p.filtered, rule == TPlacementRule::ANY_SCALE);
    }
    EXPECT_EQ(PlacePicture(640, 480, 600, 400, TPlacementRule::WHOLE_ONLY).w, 0);
    // Above 1 hardware fills the screen, filtered, between whole scales.
    TPlacement hard = PlacePicture(640, 480, 1600, 1000, TPlacementRule::ANY_SCALE);
    EXPECT_EQ(hard.w * 10000 + hard.h, 1333 * 10000 + 1000);
    EXPECT_TRUE(hard.filtered);
    // A display of two pixels per window unit: the pointer in half the units.
    TPointerMapping m = MappingFor(PlacePicture(640, 480, 600, 400, TPlacementRule::SOFTWARE), 640, 300, 600, nullptr);
    EXPECT_EQ(m.offset_x, 16.5);
    EXPECT_DOUBLE_EQ(m.scale, 533.0 / 640 / 2);
}

TEST(PicturePlacement, AWindowScaleIsClampedToTheLargestThatFitsTheDesktop)
{
    // 1920x1040 usable: 3 fits across, 2 down.
    EXPECT_EQ(FittingWindowScale(16, 640, 480, 1920, 1040), 2);
    EXPECT_EQ(FittingWindowScale(0, 640, 480, 1920, 1040), 2);
    EXPECT_EQ(FittingWindowScale(2, 640, 480, 1920, 1040), 2) << "one that just fits stays";
    EXPECT_EQ(FittingWindowScale(1, 640, 480, 1920, 1040), 1) << "a smaller one stays";
    EXPECT_EQ(FittingWindowScale(3, 640, 480, 800, 400), 1) << "never below 1, even if 1 does not fit";
    EXPECT_EQ(FittingWindowScale(5, 640, 480, 0, 0), 5) << "a desktop of unknown size leaves the wish";
}

}  // namespace
