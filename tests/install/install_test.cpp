// The install tree and the command line, as a player or packager meets them.
#include <gtest/gtest.h>

#include <thread>

#include "session.h"

namespace {

const char* const APP_ID = "org.kelvora.kelvora3d";

// Width and height from a PNG's header.
std::pair<int, int> png_size(const fs::path& p)
{
    const auto b = bytes_of(p);
    if (b.size() < 24)
        return {0, 0};
    auto be = [&](size_t at) { return (b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]; };
    return {be(16), be(20)};
}

TEST(InstallTree, PutsEveryFileWhereFreedesktopLooksAndTheMetadataValidates)
{
    scratch s("tree");
    const fs::path root = s.dir / "root";
    const auto r = run("DESTDIR=" + shq(root.string()) + " cmake --install " + shq(KV_BUILD_DIR) +
                       " --prefix /usr/local");
    ASSERT_EQ(r.status, 0) << r.out;
    const fs::path p = root / "usr/local";  // DESTDIR is honoured: nothing outside it
    EXPECT_TRUE(fs::is_regular_file(p / "bin/kelvora3d"));
    EXPECT_TRUE(fs::is_regular_file(p / "share/kelvora3d/data/laserfire.ogg"));
    EXPECT_TRUE(fs::is_regular_file(p / "share/kelvora3d/data/kelvora.ogg"));
    EXPECT_TRUE(fs::is_regular_file(p / "share/man/man6/kelvora3d.6"));
    EXPECT_TRUE(fs::is_regular_file(p / "share/doc/kelvora3d/copyright"));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const fs::path icon = p / ("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                                   "/apps/" + APP_ID + ".png");
        EXPECT_EQ(png_size(icon), std::make_pair(size, size)) << icon;
    }
    const fs::path desktop = p / "share/applications" / (std::string(APP_ID) + ".desktop");
    const fs::path metainfo = p / "share/metainfo" / (std::string(APP_ID) + ".metainfo.xml");
    auto v = run("desktop-file-validate " + shq(desktop.string()));
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_EQ(v.out, "");
    v = run("appstreamcli validate --no-net --pedantic " + shq(metainfo.string()));
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_EQ(v.out.find("W:"), std::string::npos) << v.out;
    const auto meta_bytes = bytes_of(metainfo);
    const std::string meta(meta_bytes.begin(), meta_bytes.end());
    const auto version = run_program({.argv = {KV_PROGRAM, "--version"}});
    EXPECT_NE(meta.find("<release version=\"" + version.out.substr(10, version.out.size() - 11) + "\""),
              std::string::npos)
        << "the metainfo names this release: " << version.out;
    v = run("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l " + shq((p / "share/man/man6/kelvora3d.6").string()) +
            " >/dev/null");
    EXPECT_EQ(v.out, "") << "the manual page renders without warnings";
}

TEST(CommandLine, HelpAndVersionSucceedAndABadOptionIsOneLineWithStatus2)
{
    auto r = run_program({.argv = {KV_PROGRAM, "--help"}});
    EXPECT_EQ(r.status, 0);
    for (const char* opt : {"--window[=SCALE]", "--fullscreen", "--mute", "--record FILE", "--replay FILE", "--version"})
        EXPECT_NE(r.out.find(opt), std::string::npos) << opt;
    r = run_program({.argv = {KV_PROGRAM, "--version"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("kelvora3d 1.", 0), 0u) << r.out;
    for (const char* bad : {"--bogus", "--window=0", "--window=big", "--mute=yes", "--record", "stray", "-x", "--fullscreen=1"}) {
        r = run_program({.argv = {KV_PROGRAM, bad}});  // nothing on stdout: all of it is stderr's
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << bad << ": " << r.out;
        EXPECT_EQ(r.out.rfind("kelvora3d: ", 0), 0u) << r.out;
    }
}

TEST(CommandLine, WindowIsSmallerThanTheScreenAndMuteSilencesTheRun)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("window");
    const fs::path tree = s.dir / "game";
    copy_sounds(tree / "data");
    fs::copy_file(KV_PROGRAM, tree / "kelvora3d");
    const fs::path audio = s.dir / "audio.raw";
    background game({.argv = {(tree / "kelvora3d").string(), "--window", "--mute"},
                     .env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio.string(), "SDL_DISKAUDIODELAY=5"}});
    const std::string win = game.wait_window();
    ASSERT_FALSE(win.empty());
    int sw = 0, sh = 0, w = 0, h = 0;
    std::sscanf(run("xdotool getdisplaygeometry").out.c_str(), "%d %d", &sw, &sh);
    const std::string geo = run("xdotool getwindowgeometry --shell " + win).out;
    std::sscanf(geo.substr(geo.find("WIDTH=")).c_str(), "WIDTH=%d", &w);
    std::sscanf(geo.substr(geo.find("HEIGHT=")).c_str(), "HEIGHT=%d", &h);
    EXPECT_GE(w, 640);
    EXPECT_GE(h, 480);
    EXPECT_TRUE(w < sw || h < sh) << w << "x" << h << " on " << sw << "x" << sh;
    // The title music would be playing: a second of output.
    ASSERT_TRUE(game.to_title()) << game.now();
    EXPECT_TRUE(file_reaches(audio, 44100u * 4 + 1)) << "the sound output ran";
    EXPECT_EQ(game.escape_until_exit(), 0);
    const auto sound = bytes_of(audio);
    EXPECT_EQ(std::count(sound.begin(), sound.end(), 0), static_cast<long>(sound.size())) << "all silent";
}

// Window size as xdotool reports it.
std::pair<int, int> window_size(const std::string& win)
{
    const std::string geo = run("xdotool getwindowgeometry --shell " + win).out;
    int w = 0, h = 0;
    if (geo.find("WIDTH=") != std::string::npos && geo.find("HEIGHT=") != std::string::npos) {
        std::sscanf(geo.substr(geo.find("WIDTH=")).c_str(), "WIDTH=%d", &w);
        std::sscanf(geo.substr(geo.find("HEIGHT=")).c_str(), "HEIGHT=%d", &h);
    }
    return {w, h};
}

// Size the window reaches before the limit.
bool size_becomes(const std::string& win, std::pair<int, int> size)
{
    for (int i = 0; i < 300; ++i) {
        if (window_size(win) == size)
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// New pictures are shown: the game draws its own pointer where the mouse is,
// so a moved mouse changes the screen once the game has drawn again.
bool pictures_follow_the_mouse(background& game, int sw, int sh)
{
    // The screen a few frames on; empty when no frames come.
    const auto next_shot = [&] {
        return game.frames(3) ? run("import -window root rgb:- 2>/dev/null | md5sum").out : std::string();
    };
    // A move right after a switch of mode is sometimes not seen (by SDL,
    // under Xvfb): after 30 frames with no change the mouse moves again.
    for (int tries = 0; tries < 3; ++tries) {
        for (const int to : {-100, 100}) {
            // Settled: the same picture twice, frames apart.
            std::string before = next_shot(), again;
            for (int i = 0; i < 50 && !before.empty() && (again = next_shot()) != before; ++i)
                before = again;
            xdo("mousemove --sync " + std::to_string(sw / 2 + to) + " " + std::to_string(sh / 2 + to / 2));
            for (int i = 0; i < 10 && !before.empty(); ++i) {
                const std::string after = next_shot();
                if (after.empty())
                    return false;
                if (after != before)
                    return true;
            }
        }
    }
    return false;
}

TEST(CommandLine, AltEnterSwitchesBetweenWindowAndFullScreenBothWaysAndTheGameGoesOn)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    background game({.argv = {KV_PROGRAM, "--window"}});
    const std::string win = game.wait_window();
    ASSERT_FALSE(win.empty());
    int sw = 0, sh = 0;
    std::sscanf(run("xdotool getdisplaygeometry").out.c_str(), "%d %d", &sw, &sh);
    ASSERT_TRUE(game.to_title("Escape")) << game.now();
    const auto windowed = window_size(win);
    ASSERT_TRUE(windowed.first < sw || windowed.second < sh);
    EXPECT_NE(run("xprop -id " + win + " WM_CLASS").out.find("\"org.kelvora.kelvora3d\""), std::string::npos)
        << "the desktop entry's id as the window's class";
    EXPECT_TRUE(pictures_follow_the_mouse(game, sw, sh));

    xdo("key alt+Return");
    EXPECT_TRUE(size_becomes(win, {sw, sh})) << "full screen: " << window_size(win).first;
    EXPECT_TRUE(pictures_follow_the_mouse(game, sw, sh));

    xdo("key alt+Return");
    EXPECT_TRUE(size_becomes(win, windowed)) << "back in the window: " << window_size(win).first;
    EXPECT_TRUE(pictures_follow_the_mouse(game, sw, sh));
    EXPECT_EQ(game.now().state, TITLE) << "neither Alt nor Enter does anything else";
    EXPECT_EQ(game.escape_until_exit(), 0);
}

}  // namespace
