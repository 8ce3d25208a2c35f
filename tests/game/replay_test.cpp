// Whole runs of the game through the replay harness: virtual time, scripted
// input, the recording driver. Frame 1 is the first frame of the logo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "replay_runner.h"

namespace {

constexpr int SPACE = 32, ESCAPE = 27, FIRE = 162;

// Space in frame 2 skips the logo, so the title menu's first frame is 3.
const std::string SKIP_LOGO = key_press(2, SPACE);

int row_y(int row)
{
    return 245 + 30 * row;
}

std::vector<unsigned char> le(int v)
{
    const unsigned u = static_cast<unsigned>(v);
    return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u >> 16),
            static_cast<unsigned char>(u >> 24)};
}

}  // namespace

TEST(ReplayLogo, Lasts326FramesFlatAnd351InStereo)
{
    replay_dir dir("logo");
    EXPECT_EQ(dir.run(325, "")["game_state"], 0);
    auto r = dir.run(326, "");
    EXPECT_EQ(r["game_state"], 4) << r.err;
    EXPECT_EQ(r["aliens_left"], 0);
    EXPECT_EQ(r["frame"], 326);

    dir.put("data/anaglyph3d.dat", le(1));
    EXPECT_EQ(dir.run(350, "")["game_state"], 0);
    EXPECT_EQ(dir.run(351, "")["game_state"], 4);
}

TEST(ReplayLogo, SkippedByEscapeSpaceClickOrJoystickFire)
{
    replay_dir dir("skip");
    const std::string scripts[] = {key_press(10, ESCAPE), key_press(10, SPACE), "10 mouse down 1\n",
                                   "10 joy button 0 down\n"};
    for (const auto& s : scripts) {
        auto r = dir.run(10, s);
        EXPECT_EQ(r["game_state"], 4) << s;
        EXPECT_EQ(r["quit_game"], 0) << "Escape on the logo only skips it";
        EXPECT_EQ(dir.run(9, s)["game_state"], 0) << s;
    }
}

TEST(ReplayLogo, WindowClosedDuringTheLogoEndsAfterOnePass)
{
    replay_dir dir("close");
    auto r = dir.run(1000, "5 close\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r["frame"], 6);
    EXPECT_EQ(r["quit_game"], 1);
    EXPECT_EQ(dir.bytes("data/hiscore.dat").size(), 4u);
    EXPECT_EQ(dir.bytes("data/anaglyph3d.dat").size(), 4u);
}

TEST(ReplayLogo, CloseWhileSuspendedEndsTheGameInOrder)
{
    // While the window is away nothing else is scripted: without the close
    // ending the wait, the focus would have to come back first and the
    // title would draw one more frame.
    replay_dir dir("suspended_close");
    // From the logo the game ends after one pass of the main loop, as any
    // close there does.
    const std::pair<std::string, int> runs[] = {{"5 suspend\n6 close\n", 6},
                                                {SKIP_LOGO + "20 suspend\n21 close\n", 20}};
    for (const auto& [script, last_frame] : runs) {
        auto r = dir.run(1000, script);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r["quit_game"], 1) << script;
        EXPECT_EQ(r["frame"], last_frame) << script;
        EXPECT_EQ(dir.bytes("data/hiscore.dat"), le(0));
        EXPECT_EQ(dir.bytes("data/anaglyph3d.dat"), le(0));
    }
}

TEST(ReplayMenu, FiveClicksOnTheModeRowComeBackToTheStart)
{
    replay_dir dir("mode");
    std::string script = SKIP_LOGO;
    for (int i = 0; i < 5; ++i)
        script += click(10 + 2 * i, 320, row_y(1));
    auto one = dir.run(10, script);
    EXPECT_EQ(one["mode3d"], 1);
    EXPECT_EQ(one["leye_r"], 140);
    EXPECT_EQ(dir.bytes("data/anaglyph3d.dat"), le(1)) << "kept as soon as chosen, with no exit";
    dir.put("data/anaglyph3d.dat", le(0));
    auto three = dir.run(14, script);
    EXPECT_EQ(three["mode3d"], 3);
    EXPECT_EQ(three["leye_g"], 80);
    dir.put("data/anaglyph3d.dat", le(0));
    auto five = dir.run(40, script);
    EXPECT_EQ(five["mode3d"], 0);
    EXPECT_EQ(five["game_state"], 4);

    // From a stored mode, and the new mode is what the next run starts with.
    dir.put("data/anaglyph3d.dat", le(3));
    std::string quit = script + key_press(30, ESCAPE);
    auto r = dir.run(40, quit);
    EXPECT_EQ(r["mode3d"], 3);
    EXPECT_EQ(dir.bytes("data/anaglyph3d.dat"), le(3));
    auto changed = dir.run(40, SKIP_LOGO + click(10, 320, row_y(1)) + key_press(30, ESCAPE));
    EXPECT_EQ(changed["mode3d"], 4);
    EXPECT_EQ(dir.bytes("data/anaglyph3d.dat"), le(4));
}

TEST(ReplayMenu, VolumeRowsWrapFromMaxToOff)
{
    replay_dir dir("volume");
    const std::string script = SKIP_LOGO + click(10, 320, row_y(3)) + click(12, 320, row_y(4)) +
                               click(14, 320, row_y(3)) + click(16, 320, row_y(4)) + click(18, 320, row_y(2));
    auto at_off = dir.run(12, script);
    EXPECT_EQ(at_off["sound_step"], 0);
    EXPECT_EQ(at_off["music_step"], 0);
    auto after = dir.run(20, script);
    EXPECT_EQ(after["sound_step"], 1);
    EXPECT_EQ(after["music_step"], 1);
    EXPECT_EQ(after["retro_fx"], 1);
    EXPECT_EQ(after["mode3d"], 0);

    // Clicks above or below the rows do nothing.
    auto none = dir.run(20, SKIP_LOGO + click(10, 320, 200) + click(12, 320, 420) + click(14, 320, 230));
    EXPECT_EQ(none["game_state"], 4);
    EXPECT_EQ(none["sound_step"], 10);
    EXPECT_EQ(none["quit_game"], 0);
}

TEST(ReplayMenu, EscapeOnTheTitleQuitsAndWritesBothFiles)
{
    replay_dir dir("quit");
    auto r = dir.run(1000, SKIP_LOGO + key_press(20, ESCAPE));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r["frame"], 20) << "the frame of the key is still drawn";
    EXPECT_EQ(dir.bytes("data/hiscore.dat"), le(0));
    EXPECT_EQ(dir.bytes("data/anaglyph3d.dat"), le(0));
    // "Exit Game" does the same.
    auto e = dir.run(1000, SKIP_LOGO + click(20, 320, row_y(5)));
    EXPECT_EQ(e["frame"], 20);
    EXPECT_EQ(e["quit_game"], 1);
}

TEST(ReplayMenu, SavedValuesFallBackWhenMissingShortOrOutOfRange)
{
    replay_dir dir("fallback");
    auto fresh = dir.run(3, SKIP_LOGO);
    EXPECT_EQ(fresh["best_sc"], 0);
    EXPECT_EQ(fresh["mode3d"], 0);

    dir.put("data/hiscore.dat", {0x39, 0x30});
    dir.put("data/anaglyph3d.dat", le(9));
    auto odd = dir.run(3, SKIP_LOGO);
    EXPECT_EQ(odd["best_sc"], 0);
    EXPECT_EQ(odd["mode3d"], 0);

    dir.put("data/hiscore.dat", le(12345));
    dir.put("data/anaglyph3d.dat", le(3));
    auto stored = dir.run(3, SKIP_LOGO);
    EXPECT_EQ(stored["best_sc"], 12345);
    EXPECT_EQ(stored["mode3d"], 3);
    EXPECT_EQ(stored["leye_r"], 4);
    EXPECT_EQ(stored["leye_g"], 80);
    EXPECT_EQ(stored["leye_b"], 60);
    EXPECT_EQ(stored["reye_r"], 140);
    EXPECT_EQ(stored["reye_g"], 4);
    EXPECT_EQ(stored["reye_b"], 10);
}

TEST(ReplayPlay, NewGameStartsAtZeroWithTheFirstAlienAfter150Frames)
{
    replay_dir dir("newgame");
    const std::string start = SKIP_LOGO + click(20, 320, row_y(0));
    auto r = dir.run(20, start);
    EXPECT_EQ(r["game_state"], 2);
    EXPECT_EQ(r["score"], 0);
    EXPECT_EQ(r["aliens_left"], 250);
    EXPECT_EQ(r["spawn_delay"], 150);
    auto before = dir.run(169, start);
    EXPECT_EQ(before["aliens_left"], 250);
    EXPECT_EQ(before["alien_list"], 0);
    auto first = dir.run(170, start);
    EXPECT_EQ(first["aliens_left"], 249);
    EXPECT_EQ(first["alien_list"], 1);
    EXPECT_EQ(first["spawn_delay"], 149);
}

TEST(ReplayPlay, PauseAndResumeWithSpaceAndJoystickButtonTwo)
{
    replay_dir dir("pause");
    const std::string script = SKIP_LOGO + click(20, 320, row_y(0)) + key_press(30, SPACE) + key_press(40, SPACE) +
                               "50 joy button 2 down\n51 joy button 2 up\n60 joy button 2 down\n";
    EXPECT_EQ(dir.run(30, script)["game_state"], 3);
    auto resumed = dir.run(40, script);
    EXPECT_EQ(resumed["game_state"], 2);
    EXPECT_EQ(resumed["aliens_left"], 250) << "the game goes on where it stopped";
    EXPECT_EQ(dir.run(50, script)["game_state"], 3);
    EXPECT_EQ(dir.run(60, script)["game_state"], 2);
    // Nothing moves while paused: the spawn timer stands still.
    const std::string long_pause = SKIP_LOGO + click(20, 320, row_y(0)) + key_press(30, SPACE);
    EXPECT_EQ(dir.run(31, long_pause)["spawn_tmr"], dir.run(300, long_pause)["spawn_tmr"]);
}

TEST(ReplayPlay, LeavingAGameFromThePauseMenu)
{
    replay_dir dir("leave");
    const std::string play = SKIP_LOGO + click(20, 320, row_y(0)) + key_press(21, FIRE) + key_press(30, ESCAPE);
    auto by_escape = dir.run(40, play + key_press(35, ESCAPE));
    EXPECT_EQ(by_escape["game_state"], 4);
    EXPECT_EQ(by_escape["shot_list"], 0);
    EXPECT_EQ(by_escape["shots_fired"], 1) << "counters stay as they were";
    EXPECT_EQ(by_escape["quit_game"], 0);
    auto by_row = dir.run(40, play + click(35, 320, row_y(5)));
    EXPECT_EQ(by_row["game_state"], 4);
    EXPECT_EQ(by_row["shot_list"], 0);
    auto resume_row = dir.run(40, play + click(35, 320, row_y(0)));
    EXPECT_EQ(resume_row["game_state"], 2);
    EXPECT_EQ(resume_row["shots_fired"], 1);
}

// A whole game of 250 aliens takes about 16,700 frames.
class ReplayWholeGame : public ::testing::Test {
protected:
    static constexpr int START = 20;
    static constexpr int LONG = 17400;
    static std::string start() { return SKIP_LOGO + click(START, 320, row_y(0)); }
};

TEST_F(ReplayWholeGame, NoInputLetsEveryAlienEscape)
{
    replay_dir dir("idle");
    const int probe_at = 16900;
    auto r = dir.run(LONG, start(), {}, "record", {probe_at});
    ASSERT_EQ(r["game_state"], 5) << r.err;
    EXPECT_EQ(r["aliens_escaped"], 250);
    EXPECT_EQ(r["escaped_penalty"], -125000);
    EXPECT_EQ(r["final_score"], -125000);
    EXPECT_EQ(r["survival_chance"], 0);
    EXPECT_EQ(r["new_bs"], 0) << "Sorry, No High Score";
    EXPECT_EQ(r["best_sc"], 0);
    EXPECT_EQ(r["results_delay"], 0);
    EXPECT_EQ(r["scroll_dir"], 0);
    EXPECT_EQ(r["alien_list"] + r["part_list"] + r["points_list"] + r["shot_list"], 0);

    // The frame that ended the game, from the delay counted down since.
    ASSERT_EQ(r.at_frame(probe_at, "game_state"), 5);
    ASSERT_GT(r.at_frame(probe_at, "results_delay"), 0);
    const int ended = probe_at - (250 - static_cast<int>(r.at_frame(probe_at, "results_delay")));

    // Fire presses all through the delay are flushed; a press after it counts.
    std::string held = start();
    for (int f = ended + 1; f < ended + 250; f += 2)
        held += key_press(f, FIRE);
    held += key_press(ended + 262, FIRE);
    auto back = dir.run(ended + 262, held, {}, "record", {ended + 261});
    EXPECT_EQ(back.at_frame(ended + 261, "game_state"), 5);
    EXPECT_EQ(back.at_frame(ended + 261, "results_delay"), 0);
    EXPECT_EQ(back["game_state"], 4);
    EXPECT_EQ(back["score"], 0) << "a negative final score becomes 0";
}

TEST_F(ReplayWholeGame, SteadyFiringKillsWastesAndSettlesTheScore)
{
    replay_dir dir("firing");
    // A stored best that no game can score is no record: this game's
    // (below 0) does not beat it, and nothing replaces it but a real one.
    dir.put("data/hiscore.dat", le(-2000000000));
    std::string script = start();
    for (int f = START + 1; f < 16100; f += 6)
        script += key_press(f, FIRE);
    // Back to the title and out after the results.
    script += key_press(LONG + 5, FIRE) + key_press(LONG + 10, ESCAPE);
    auto out = dir.run(LONG + 20, script, {}, "record", {LONG});
    ASSERT_EQ(out.at.count(LONG), 1u);
    const auto& r = out.at[LONG];
    ASSERT_EQ(r.at("game_state"), 5) << out.err;
    EXPECT_GT(r.at("aliens_killed"), 0);
    EXPECT_GT(r.at("shots_wasted"), 0);
    // Every hit uses up a shot; shots alive when the game ended count as neither.
    EXPECT_GE(r.at("shots_fired"), r.at("shots_wasted") + r.at("aliens_killed"));
    EXPECT_GE(r.at("aliens_killed") + r.at("aliens_escaped"), 250);
    EXPECT_EQ(r.at("wasted_penalty"), -10 * r.at("shots_wasted"));
    EXPECT_EQ(r.at("final_score"), r.at("score") + r.at("wasted_penalty") + r.at("escaped_penalty"));
    ASSERT_LT(r.at("final_score"), 0);
    EXPECT_EQ(r.at("new_bs"), 0);
    EXPECT_EQ(r.at("best_sc"), 0);

    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out["quit_game"], 1);
    EXPECT_EQ(out["score"], std::max(0.0, r.at("final_score")));
    EXPECT_EQ(dir.bytes("data/hiscore.dat"), le(-2000000000));
}

// The recording driver grabs the real sprites from the sheet start-up draws,
// so the game it plays is the one players get: the same masks, hits and score
// as on OpenGL.
TEST(ReplayDrivers, SteadyFireGivesTheSameGameOnEitherDriver)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no DISPLAY";
    // Stereo R\G, Retro Line FX on, a game; fire every 5 frames, steering
    // left and right in turn for 60 frames in every 200. Two aliens are hit
    // by frame 640.
    std::string script = SKIP_LOGO + click(5, 320, row_y(1)) + click(7, 320, row_y(1)) + click(9, 320, row_y(2)) +
                         click(12, 320, row_y(0));
    const int frames = 660;
    for (int f = 13; f < frames; f += 5)
        script += key_press(f, FIRE);
    for (int f = 13, key = 37; f < frames; f += 200, key = key == 37 ? 39 : 37) {
        script += std::to_string(f) + " key down " + std::to_string(key) + "\n";
        script += std::to_string(f + 60) + " key up " + std::to_string(key) + "\n";
    }
    replay_dir gl_dir("drivers-gl"), record_dir("drivers-record");
    auto gl = gl_dir.run(frames, script, {}, "gl");
    auto record = record_dir.run(frames, script, {}, "record");
    ASSERT_EQ(gl.status, 0) << gl.err;
    ASSERT_EQ(record.status, 0) << record.err;
    EXPECT_EQ(gl["game_state"], 2);
    EXPECT_GT(gl["aliens_killed"], 0) << "the game has hits to compare";
    EXPECT_EQ(record.state, gl.state);
}

// The drawing of chosen frames, logged for the rendering benchmark's floor.
TEST(ReplayDrawLog, LogsTheChosenFramesWithEachPicturesSize)
{
    replay_dir dir("drawlog");
    const std::string log = (dir.path() / "calls.txt").string();
    auto r = dir.run(12, SKIP_LOGO, {"--draw-log", "10:" + log, "--draw-log", "11:" + log});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(log);
    ASSERT_TRUE(in) << "no draw log";
    std::vector<std::string> headers;
    std::map<std::string, std::string> size_of;  // picture -> "W H"
    std::vector<int> draws_per_frame;
    bool pointer = false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("frame ", 0) == 0) {
            headers.push_back(line);
            draws_per_frame.push_back(0);
            continue;
        }
        ASSERT_FALSE(headers.empty()) << line;
        if (line.rfind("DrawFrame ", 0) != 0)
            continue;
        ++draws_per_frame.back();
        const size_t at = line.find(" @");
        ASSERT_NE(at, std::string::npos) << line;
        std::istringstream tail(line.substr(at + 2));
        std::string id, w, h;
        ASSERT_TRUE(tail >> id >> w >> h) << line;
        // A picture keeps its number and size from frame to frame.
        const auto known = size_of.emplace(id, w + " " + h);
        EXPECT_EQ(known.first->second, w + " " + h) << line;
        pointer = pointer || (w == "18" && h == "18");
    }
    EXPECT_EQ(headers, (std::vector<std::string>{"frame 10", "frame 11"}));
    ASSERT_EQ(draws_per_frame.size(), 2u);
    EXPECT_GT(draws_per_frame[0], 20) << "backdrop, title, rows and score line";
    EXPECT_EQ(draws_per_frame[0], draws_per_frame[1]) << "the title menu draws the same each frame";
    EXPECT_TRUE(pointer) << "the 18x18 pointer is drawn last in the menu";
    // Logging needs the recording driver.
    EXPECT_NE(dir.run(12, SKIP_LOGO, {"--draw-log", "10:" + log}, "gl").status, 0);
}
