// Stereo drawing, checked on the calls the 2D driver receives.
#include <algorithm>
#include <string>
#include <vector>

#include "game_fixture.h"

namespace {

// The colour, blend and image draws of the log, as short lines.
std::vector<std::string> drawing(const TRecordingRast2DDriver& rec)
{
    std::vector<std::string> out;
    for (const auto& c : rec.Calls()) {
        if (c.name == "SetColor")
            out.push_back("color " + std::to_string(int(c.Arg(0))) + " " + std::to_string(int(c.Arg(1))) + " " +
                          std::to_string(int(c.Arg(2))));
        else if (c.name == "SetBlend")
            out.push_back("blend " + std::to_string(int(c.Arg(0))));
        else if (c.name == "DrawFrame")
            out.push_back("draw " + std::to_string(c.Arg(4)) + " " + std::to_string(c.Arg(5)));
    }
    return out;
}

std::string at(double x, double y)
{
    return "draw " + std::to_string(x) + " " + std::to_string(y);
}

}  // namespace

using Stereo = GameWorld;

TEST_F(Stereo, FlatDrawsOneCopyInTheCallersColourAndBlend)
{
    mode3d = 0;
    SetColor(10, 20, 30);
    SetBlend(3);
    clear_log();
    qvdraw->i3d(alien_img, 100, 50, 0, 5, 0, 3);
    // The image handle is at its centre, so the quad's translation is the position.
    EXPECT_EQ(drawing(recorder()), std::vector<std::string>{at(100, 50)});
    EXPECT_EQ(GetBlend(), 3);
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r + g + b, 60);
}

TEST_F(Stereo, EachPassDrawsBothEyesShiftedAndTintedAdditively)
{
    mode3d = 2;
    qvdraw->slc(4, 100, 20, 140, 4, 10);
    clear_log();
    qvdraw->i3d(alien_img, 100, 50, 0, 3, 0, 2);
    const std::vector<std::string> pair = {"blend 4", "color 4 100 20", at(97, 50), "color 140 4 10", at(103, 50)};
    std::vector<std::string> expected = pair;
    expected.insert(expected.end(), pair.begin(), pair.end());
    EXPECT_EQ(drawing(recorder()), expected);
    // Left behind: additive blend and the right eye's colour.
    EXPECT_EQ(GetBlend(), 4);
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r, 140);
    EXPECT_EQ(g, 4);
    EXPECT_EQ(b, 10);
}

TEST_F(Stereo, AngleTurnsTheEyesApartAndLeavesTheRotationTruncated)
{
    mode3d = 1;
    SetRotation(37.8f);
    qvdraw->i3d(flame_img, 0, 0, 0, 0, 5, 1);
    EXPECT_FLOAT_EQ(GetRotation(), 37.0f);

    SetRotation(37.8f);
    qvdraw->i3d(flame_img, 0, 0, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(GetRotation(), 37.8f) << "angle 0 never touches the rotation";

    // No passes draws nothing but still resets the rotation.
    SetRotation(12.5f);
    clear_log();
    qvdraw->i3d(flame_img, 0, 0, 0, 0, 5, 0);
    EXPECT_EQ(recorder().Count("DrawFrame"), 0);
    EXPECT_FLOAT_EQ(GetRotation(), 12.0f);

    // Flat, the angle is ignored for drawing but the truncation still happens.
    mode3d = 0;
    SetRotation(20.9f);
    clear_log();
    qvdraw->i3d(flame_img, 0, 0, 0, 0, 5, 2);
    EXPECT_EQ(recorder().Count("DrawFrame"), 1);
    EXPECT_FLOAT_EQ(GetRotation(), 20.0f);
}

TEST_F(Stereo, EyeCopiesAreTurnedByPlusAndMinusTheAngle)
{
    mode3d = 3;
    SetRotation(10);
    clear_log();
    qvdraw->i3d(flame_img, 0, 0, 0, 0, 6, 1);
    // Each eye's quad is drawn under its own matrix: +6 then -6 about 10 degrees.
    const auto forms = recorder().CallsNamed("SetTransform");
    ASSERT_GE(forms.size(), 3u);
    const TMatrix2D left = TransformMatrix(16, 1, 1);
    const TMatrix2D right = TransformMatrix(4, 1, 1);
    EXPECT_NEAR(forms[0].Arg(0), left.ix, 1e-6);
    EXPECT_NEAR(forms[0].Arg(2), left.jx, 1e-6);
    EXPECT_NEAR(forms[1].Arg(0), right.ix, 1e-6);
    EXPECT_NEAR(forms[1].Arg(2), right.jx, 1e-6);
}

TEST_F(Stereo, CentredTextIsShiftedByItsScaledSize)
{
    // The built-in font: glyphs sit at the pen position, so the first quad
    // shows where the text starts.
    mode3d = 0;
    const std::string text = "Start Game";
    const float w = static_cast<float>(TextWidth(text));
    const float h = static_cast<float>(TextHeight());
    ASSERT_GT(w, 0);
    qvdraw->sip(3, 1, 0, 2, 2);
    EXPECT_FLOAT_EQ(qvdraw->txt_xs, 2);
    EXPECT_FLOAT_EQ(qvdraw->txt_ys, 2);
    clear_log();
    qvdraw->t3d(text, 320, 250, 5, 1);
    auto glyphs = draws();
    ASSERT_FALSE(glyphs.empty());
    // At scale 2 the centring moves the text by its full width and height.
    EXPECT_FLOAT_EQ(glyphs[0].Arg(4), 320 - w);
    EXPECT_FLOAT_EQ(glyphs[0].Arg(5), 250 - h);

    // Uncentred, the text starts at (x, y) whatever the scale.
    clear_log();
    qvdraw->t3d("A", 100, 60, 0, 0);
    glyphs = draws();
    ASSERT_EQ(glyphs.size(), 1u);
    EXPECT_FLOAT_EQ(glyphs[0].Arg(4), 100);
    EXPECT_FLOAT_EQ(glyphs[0].Arg(5), 60);
}

TEST_F(Stereo, TextInStereoIsOnePairInTheEyeColours)
{
    mode3d = 4;
    qvdraw->slc(4, 20, 140, 140, 4, 20);
    qvdraw->sip(3, 1, 0, 1, 1);
    clear_log();
    qvdraw->t3d("I", 100, 100, 2, 0);
    const auto d = drawing(recorder());
    ASSERT_GE(d.size(), 5u);
    EXPECT_EQ(d[0], "blend 4");
    EXPECT_EQ(d[1], "color 4 20 140");
    EXPECT_EQ(d.back().substr(0, 4), "draw");
    EXPECT_EQ(std::count(d.begin(), d.end(), "color 140 4 20"), 1);
    EXPECT_FLOAT_EQ(GetRotation(), 0);
}
