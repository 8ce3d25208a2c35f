// Where a renderer shows the picture: the rules every backend shares.
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

}  // namespace
