// What the backdrop, the menu, the score line and the scan lines draw, in
// order and with their arguments.
#include <string>
#include <vector>

#include "game/mainloop.h"
#include "game/menu.h"
#include "game/play.h"
#include "game_fixture.h"

using namespace kelvora;

namespace {

std::vector<std::pair<double, double>> positions(const std::vector<TRast2DCall>& frames)
{
    std::vector<std::pair<double, double>> out;
    for (const auto& f : frames)
        out.emplace_back(f.Arg(4), f.Arg(5));
    return out;
}

// The first quad drawn after the colour was set to (r, g, b).
const TRast2DCall* first_draw_in(const TRecordingRast2DDriver& rec, int r, int g, int b, int nth = 0)
{
    bool in = false;
    for (const auto& c : rec.Calls()) {
        if (c.name == "SetColor")
            in = c.Arg(0) == r && c.Arg(1) == g && c.Arg(2) == b;
        else if (in && c.name == "DrawFrame" && nth-- == 0)
            return &c;
    }
    return nullptr;
}

}  // namespace

class Screens : public GameWorld {
protected:
    void SetUp() override
    {
        GameWorld::SetUp();
        create_string_tables();
        title_img = CreateImage(422, 141, 1, -1);
        pointer_img = CreateImage(18, 18, 1, -1);
        GrabImage(title_img, 0, 0, 0);
        GrabImage(pointer_img, 0, 0, 0);
        CenterImageHandle(title_img);
        clear_log();
    }
};

TEST_F(Screens, PlayBackdropLayersFlat)
{
    game_state = STATE_PLAY;
    draw_backdrop();
    const auto names = recorder().Names();
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "Cls");
    const auto frames = positions(draws());
    // Background twice, lower background, six far and four near mountain strips.
    std::vector<std::pair<double, double>> expected = {{0, 0}, {0, 0}, {0, 0}};
    for (int i = 0; i < 6; ++i)
        expected.emplace_back(-50 + 140 * i, 205);
    for (int i = 0; i < 4; ++i)
        expected.emplace_back(-30 + 230 * i, 236);
    EXPECT_EQ(frames, expected);
    // The second background copy and the mountains are grey.
    EXPECT_NE(first_draw_in(recorder(), 80, 80, 80), nullptr);
    const auto alphas = recorder().CallsNamed("SetAlpha");
    ASSERT_EQ(alphas.size(), 4u);
    EXPECT_FLOAT_EQ(alphas[0].Arg(0), 0.6f);
    EXPECT_FLOAT_EQ(alphas[2].Arg(0), 0.8f);
    EXPECT_FLOAT_EQ(alphas[3].Arg(0), 1.0f);
    for (const auto& b : recorder().CallsNamed("SetBlend"))
        EXPECT_EQ(b.Arg(0), 4);
}

TEST_F(Screens, PlayBackdropInStereoPutsLayersBehindTheScreen)
{
    game_state = 0;  // the start-up logo draws the play backdrop too
    mode3d = 1;
    qvdraw->slc(140, 4, 40, 4, 100, 20);
    draw_backdrop();
    const auto frames = positions(draws());
    ASSERT_EQ(frames.size(), 1u + 2 + 2 + 12 + 8);
    EXPECT_EQ(frames[0], std::make_pair(0.0, 0.0));
    EXPECT_EQ(frames[1], std::make_pair(4.0, 0.0));   // offs -4: left eye to the right
    EXPECT_EQ(frames[2], std::make_pair(-4.0, 0.0));
    EXPECT_EQ(frames[3], std::make_pair(10.0, 0.0));
    EXPECT_EQ(frames[5], std::make_pair(-50.0 + 8, 205.0));
    EXPECT_EQ(frames[17], std::make_pair(-30.0 + 6, 236.0));
    EXPECT_EQ(first_draw_in(recorder(), 80, 80, 80), nullptr) << "no grey in stereo";
}

TEST_F(Screens, MountainOffsetsWrap)
{
    game_state = STATE_PLAY;
    mount_x1 = -231;
    mount_x2 = 0.5f;
    draw_backdrop();
    EXPECT_FLOAT_EQ(mount_x1, 0);
    EXPECT_FLOAT_EQ(mount_x2, -140);
    auto frames = positions(draws());
    EXPECT_EQ(frames[3].first, -140);
    EXPECT_EQ(frames[9].first, 0);

    mount_x1 = 1;
    mount_x2 = -141;
    clear_log();
    draw_backdrop();
    EXPECT_FLOAT_EQ(mount_x1, -230);
    EXPECT_FLOAT_EQ(mount_x2, 0);
    // Offsets are truncated toward zero when drawn.
    mount_x1 = -12.7f;
    clear_log();
    draw_backdrop();
    EXPECT_EQ(positions(draws())[9].first, -12);
}

TEST_F(Screens, MenuBackdropIsTheGrabDarkened)
{
    for (int state : {STATE_TITLE, STATE_PAUSE, STATE_RESULTS}) {
        game_state = state;
        clear_log();
        draw_backdrop();
        auto names = recorder().Names();
        std::erase(names, "CreateFrameFromPixmap");  // the texture, made on first use
        EXPECT_EQ(names, (std::vector<std::string>{"Cls", "SetColor", "SetBlend", "DrawFrame"}));
        EXPECT_EQ(recorder().Calls()[1].ToString(), "SetColor 50 50 100");
        EXPECT_EQ(recorder().Calls()[2].ToString(), "SetBlend 1");
    }
}

TEST_F(Screens, MenuRowsAreSelectedByPointerHeight)
{
    EXPECT_EQ(menu_row_at(230), -1);
    EXPECT_EQ(menu_row_at(231), 0);
    EXPECT_EQ(menu_row_at(259), 0);
    EXPECT_EQ(menu_row_at(260), 1);
    EXPECT_EQ(menu_row_at(409), 5);
    EXPECT_EQ(menu_row_at(410), 6);
    EXPECT_EQ(menu_row_at(0), -1);
}

TEST_F(Screens, MenuRowColoursScalesAndDepths)
{
    game_state = STATE_TITLE;
    system->QueueMotion(500, 265);  // row 1; x does not matter
    mode3d = 0;
    menu_frame();
    // Rows in order: five in blue, the one under the pointer in gold and larger.
    std::vector<std::string> colours;
    for (const auto& c : recorder().CallsNamed("SetColor"))
        colours.push_back(c.ToString());
    const std::vector<std::string> expected = {
        "SetColor 180 180 180", "SetColor 180 180 200", "SetColor 80 160 200", "SetColor 200 180 35",
        "SetColor 80 160 200",  "SetColor 80 160 200",  "SetColor 80 160 200", "SetColor 80 160 200",
        "SetColor 255 255 255"};
    EXPECT_EQ(colours, expected);
    const auto* row1 = first_draw_in(recorder(), 200, 180, 35);
    ASSERT_NE(row1, nullptr);
    const std::string text = "3D Graphics: Off";
    EXPECT_FLOAT_EQ(row1->Arg(4), 320 - TextWidth(text) * 1.2f / 2);
    EXPECT_FLOAT_EQ(row1->Arg(5), 280 - TextHeight() * 1.2f / 2);
    const auto* row2 = first_draw_in(recorder(), 80, 160, 200, 0);
    ASSERT_NE(row2, nullptr);
    EXPECT_FLOAT_EQ(row2->Arg(5), 250 - TextHeight() / 2.0f);
    // The pointer's top-left corner is the pointer position.
    EXPECT_EQ(draws().back().Arg(4), 500);
    EXPECT_EQ(draws().back().Arg(5), 265);
}

TEST_F(Screens, MenuInStereoSeparatesRowsAndPointerByDepth)
{
    game_state = STATE_PAUSE;
    mode3d = 2;
    qvdraw->slc(4, 100, 20, 140, 4, 10);
    system->QueueMotion(100, 240);  // row 0
    menu_frame();
    // Left-eye quad then right-eye quad of each row's first glyph: 2*offs apart.
    const auto frames = draws();
    const std::string resume = "Resume Game";
    const float left0 = 320 - TextWidth(resume) * 1.2f / 2 - 3;
    bool found = false;
    for (size_t i = 0; i < frames.size() && !found; ++i)
        if (std::abs(frames[i].Arg(4) - left0) < 1e-3 && std::abs(frames[i].Arg(5) - (250 - TextHeight() * 0.6)) < 1e-3)
            found = true;
    EXPECT_TRUE(found) << "row 0, the selected one, at depth 3";
    // The version line stays flat: one copy, in its own colour.
    int version_quads = 0;
    bool in_version = false;
    for (const auto& c : recorder().Calls()) {
        if (c.name == "SetColor")
            in_version = c.ToString() == "SetColor 180 180 200";
        else if (in_version && c.name == "DrawFrame")
            ++version_quads;
    }
    EXPECT_EQ(version_quads, static_cast<int>(version_line.size()));
    // The pointer: two passes of a pair, at 100 - 3 and 100 + 3.
    const auto n = frames.size();
    EXPECT_EQ(frames[n - 4].Arg(4), 97);
    EXPECT_EQ(frames[n - 3].Arg(4), 103);
}

TEST_F(Screens, ScoreLineUsesTwoDigitsAndItsPlaces)
{
    EXPECT_EQ(two_digits(0), "00");
    EXPECT_EQ(two_digits(7), "07");
    EXPECT_EQ(two_digits(10), "10");
    EXPECT_EQ(two_digits(-5), "-5");
    player->score = 5;
    player->best_sc = 1234;
    aliens_left = 0;
    aliens_killed = 3;
    aliens_escaped = 12;
    draw_hud();
    const auto* score = first_draw_in(recorder(), 180, 180, 200, 0);
    ASSERT_NE(score, nullptr);
    EXPECT_EQ(score->Arg(4), 2);
    EXPECT_EQ(score->Arg(5), 0);
    const int score_chars = static_cast<int>(std::string("Score: 05").size());
    const auto* best = first_draw_in(recorder(), 180, 180, 200, score_chars);
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->Arg(4), 320 - TextWidth("Best: 1234") / 2);
    const auto* left = first_draw_in(recorder(), 180, 180, 200, score_chars + 10);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->Arg(4), 636 - TextWidth("Aliens: 00"));
    const auto* shadow = first_draw_in(recorder(), 10, 10, 10);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->Arg(4), 4);
    EXPECT_EQ(shadow->Arg(5), 452);
    const auto* escaped_shadow = first_draw_in(recorder(), 10, 10, 10, 2);
    ASSERT_NE(escaped_shadow, nullptr);
    EXPECT_EQ(escaped_shadow->Arg(4), 638 - TextWidth("12") + 2);
    const auto* escaped = first_draw_in(recorder(), 200, 200, 255, 2);
    ASSERT_NE(escaped, nullptr);
    EXPECT_EQ(escaped->Arg(5), 450);
}

TEST_F(Screens, RetroLinesDarkenEveryOddRow)
{
    retro_fx = 0;
    retro_lines(5);
    EXPECT_TRUE(recorder().Calls().empty());
    retro_fx = 1;
    retro_lines(5);
    const auto lines = recorder().CallsNamed("DrawLine");
    ASSERT_EQ(lines.size(), 240u);
    EXPECT_EQ(lines[0].Arg(5), 1);
    EXPECT_EQ(lines[239].Arg(5), 479);
    EXPECT_EQ(recorder().Calls()[0].ToString(), "SetColor 5 5 5");
    EXPECT_EQ(recorder().Calls()[1].ToString(), "SetBlend 2");
    EXPECT_EQ(recorder().Calls().back().ToString(), "SetBlend 1");
}
