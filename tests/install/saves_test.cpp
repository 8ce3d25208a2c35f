// Where the best score and the 3D mode are kept, with real permissions: the
// program runs as an unprivileged user on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "session.h"

namespace {

// An installed tree in a scratch prefix, owned by root: read-only for the player.
struct installed {
    explicit installed(const fs::path& prefix) : prefix(prefix)
    {
        const auto r = run("cmake --install " + shq(KV_BUILD_DIR) + " --prefix " + shq(prefix.string()));
        EXPECT_EQ(r.status, 0) << r.out;
    }
    fs::path prefix;
};

// A player's home that only the player can write.
fs::path make_home(const fs::path& at)
{
    fs::create_directories(at);
    own(at, NOBODY, 0700);
    return at;
}

// A portable tree: the program with data/ beside it.
fs::path make_portable(const fs::path& at)
{
    copy_sounds(at / "data");
    fs::copy_file(KV_PROGRAM, at / "kelvora3d");
    return at;
}

std::string play_and_quit(const fs::path& program, const fs::path& home, int& status)
{
    const fs::path err = home.parent_path() / "stderr.txt";
    background game({.argv = as_nobody({program.string(), "--window"}),
                     .env = {"HOME=" + home.string(), "XDG_DATA_HOME="},
                     .dir = "/",
                     .err = err.string()});
    status = game.escape_until_exit();
    const auto b = bytes_of(err);
    return {b.begin(), b.end()};
}

TEST(SavedValues, AnInstalledProgramKeepsThemInTheUsersDataFolderSeededFromBesideIt)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("installed");
    installed tree(s.dir / "prefix");
    // A packager's (or an earlier portable tree's) values beside the program.
    put_bytes(tree.prefix / "share/kelvora3d/data/hiscore.dat", int_bytes(4321));
    put_bytes(tree.prefix / "share/kelvora3d/data/anaglyph3d.dat", int_bytes(3));
    const fs::path home = make_home(s.dir / "home");
    int status = -1;
    const std::string err = play_and_quit(tree.prefix / "bin/kelvora3d", home, status);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err.find("could not"), std::string::npos) << err;
    const fs::path own_folder = home / ".local/share/kelvora3d";
    EXPECT_EQ(bytes_of(own_folder / "hiscore.dat"), int_bytes(4321));
    EXPECT_EQ(bytes_of(own_folder / "anaglyph3d.dat"), int_bytes(3));
    EXPECT_EQ(bytes_of(tree.prefix / "share/kelvora3d/data/hiscore.dat"), int_bytes(4321)) << "left alone";

    // The next start reads the player's own values, not the seed.
    put_bytes(own_folder / "hiscore.dat", int_bytes(99));
    own(own_folder / "hiscore.dat", NOBODY, 0644);
    play_and_quit(tree.prefix / "bin/kelvora3d", home, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(bytes_of(own_folder / "hiscore.dat"), int_bytes(99));
}

TEST(SavedValues, APortableTreeKeepsThemBesideTheProgram)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("portable");
    const fs::path tree = make_portable(s.dir / "game");
    own(tree / "data", NOBODY, 0755);
    const fs::path home = make_home(s.dir / "home");
    int status = -1;
    const std::string err = play_and_quit(tree / "kelvora3d", home, status);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(bytes_of(tree / "data/hiscore.dat"), int_bytes(0));
    EXPECT_EQ(bytes_of(tree / "data/anaglyph3d.dat"), int_bytes(0));
    EXPECT_FALSE(fs::exists(home / ".local")) << "nothing goes to the user's folder";
}

TEST(SavedValues, AReadOnlyDataFolderWithWritableFilesIsWrittenInPlace)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("inplace");
    const fs::path tree = make_portable(s.dir / "game");
    // Two bytes too many: a rewrite in place must leave exactly the value.
    auto long_value = int_bytes(777);
    long_value.push_back(9);
    long_value.push_back(9);
    put_bytes(tree / "data/hiscore.dat", long_value);
    put_bytes(tree / "data/anaglyph3d.dat", int_bytes(2));
    own(tree / "data/hiscore.dat", NOBODY, 0644);
    own(tree / "data/anaglyph3d.dat", NOBODY, 0644);
    own(tree / "data", 0, 0755);
    const fs::path home = make_home(s.dir / "home");
    int status = -1;
    const std::string err = play_and_quit(tree / "kelvora3d", home, status);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err.find("Kelvora 3D:"), std::string::npos) << err;
    EXPECT_EQ(bytes_of(tree / "data/hiscore.dat"), int_bytes(777));
    EXPECT_EQ(bytes_of(tree / "data/anaglyph3d.dat"), int_bytes(2));
    EXPECT_FALSE(fs::exists(home / ".local"));
}

TEST(SavedValues, WithNowhereWritableTheGamePlaysAndSaysSoOnceAtStart)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("nowhere");
    const fs::path tree = make_portable(s.dir / "game");
    put_bytes(tree / "data/hiscore.dat", int_bytes(55));
    own(tree / "data", 0, 0755);
    const fs::path home = s.dir / "home";  // root's: the player cannot make a folder in it
    fs::create_directories(home);
    int status = -1;
    const std::string err = play_and_quit(tree / "kelvora3d", home, status);
    EXPECT_EQ(status, 0) << err;
    // Once, at start: nothing more about saving at exit.
    const size_t said = err.find("will not be saved");
    ASSERT_NE(said, std::string::npos) << err;
    EXPECT_EQ(err.find("will not be saved", said + 1), std::string::npos) << err;
    EXPECT_EQ(err.find("could not"), std::string::npos) << err;
    EXPECT_EQ(bytes_of(tree / "data/hiscore.dat"), int_bytes(55)) << "untouched";
    EXPECT_FALSE(fs::exists(tree / "data/anaglyph3d.dat"));
}

TEST(SavedValues, AProgramWithoutItsDataFolderKeepsThemInTheUsersFolderAndSaysTheSoundsAreMissing)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("stray");
    // The program copied away on its own, into a folder the player owns.
    const fs::path desk = s.dir / "desk";
    fs::create_directories(desk);
    fs::copy_file(KV_PROGRAM, desk / "kelvora3d");
    own(desk, NOBODY, 0755);
    const fs::path home = make_home(s.dir / "home");
    int status = -1;
    const std::string err = play_and_quit(desk / "kelvora3d", home, status);
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err.find("could not"), std::string::npos) << err;
    const size_t said = err.find("sounds and music were not found");
    ASSERT_NE(said, std::string::npos) << err;
    EXPECT_EQ(err.find("sounds and music were not found", said + 1), std::string::npos) << "said once";
    EXPECT_FALSE(fs::exists(desk / "data")) << "no folder made beside a stray program";
    EXPECT_EQ(bytes_of(home / ".local/share/kelvora3d/hiscore.dat"), int_bytes(0));
    EXPECT_EQ(bytes_of(home / ".local/share/kelvora3d/anaglyph3d.dat"), int_bytes(0));
}

TEST(SavedValues, WhenTheDisplayGoesTheyAreWrittenAndTheProgramEndsAtOnce)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    scratch s("display-lost");
    // Installed, with a packager's values other than the defaults: the
    // player's own files are made only by the save, and defaults written
    // over the values would show.
    installed tree(s.dir / "prefix");
    put_bytes(tree.prefix / "share/kelvora3d/data/hiscore.dat", int_bytes(4321));
    put_bytes(tree.prefix / "share/kelvora3d/data/anaglyph3d.dat", int_bytes(3));
    const fs::path home = make_home(s.dir / "home");
    const fs::path number = s.dir / "display", err = s.dir / "stderr.txt";
    // A server of its own, ended under the running game (as at a logout).
    auto server = std::make_unique<background>(
        launch{.argv = {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
               .out = number.string(),
               .err = "/dev/null"});
    std::string display;
    for (int i = 0; i < 300 && display.empty() && server->running(); ++i) {
        std::this_thread::sleep_for(100ms);
        const auto b = bytes_of(number);
        if (std::find(b.begin(), b.end(), '\n') != b.end())  // written whole
            for (unsigned char c : b)
                if (c >= '0' && c <= '9') display += char(c);
    }
    ASSERT_FALSE(display.empty()) << "no private X server";
    background game({.argv = as_nobody({(tree.prefix / "bin/kelvora3d").string(), "--window"}),
                     .env = {"DISPLAY=:" + display, "HOME=" + home.string(), "XDG_DATA_HOME=", "SDL_AUDIODRIVER=dummy"},
                     .dir = "/",
                     .err = err.string()});
    // The values are read after the window opens, just before the logo's
    // first frame.
    ASSERT_TRUE(game.frames(1)) << "the logo never came";
    server.reset();
    EXPECT_EQ(game.wait_exit(60s), 1) << "it must neither hang nor go on";
    const auto said = bytes_of(err);
    EXPECT_NE(std::string(said.begin(), said.end()).find("connection to the display :" + display + " was lost"),
              std::string::npos);
    const fs::path own_folder = home / ".local/share/kelvora3d";
    EXPECT_EQ(bytes_of(own_folder / "hiscore.dat"), int_bytes(4321)) << "written as at a normal end";
    EXPECT_EQ(bytes_of(own_folder / "anaglyph3d.dat"), int_bytes(3));
}

}  // namespace
