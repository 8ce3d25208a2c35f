// The best score and the 3D mode between runs: the files, their bytes, and
// what happens when they are missing, short, odd or cannot be written.
#include <unistd.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/saves_folder.h"
#include "game/saved_values.h"
#include "runtime/program.h"
#include "game/play.h"
#include "game_fixture.h"

using namespace kelvora;

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> bytes_of(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const fs::path& p, const std::vector<unsigned char>& b)
{
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

}  // namespace

class SavedValues : public GameWorld {
protected:
    void SetUp() override
    {
        GameWorld::SetUp();
        old_dir = fs::current_path();
        dir = fs::temp_directory_path() / ("kv_saved_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
        fs::current_path(dir);
    }
    void TearDown() override
    {
        fs::current_path(old_dir);
        fs::remove_all(dir);
        GameWorld::TearDown();
    }
    fs::path old_dir, dir;
};

TEST_F(SavedValues, FirstRunHasDefaultsAndLeavesTwoFourByteFiles)
{
    player->best_sc = 99;
    mode3d = 0;
    hiscore_io(0);
    anaglyph_io(1);
    EXPECT_EQ(player->best_sc, 0);
    EXPECT_EQ(mode3d, 0);
    player->best_sc = 1234;
    anaglyph_io(2);
    hiscore_io(1);
    EXPECT_EQ(bytes_of(dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0xD2, 0x04, 0x00, 0x00}));
    EXPECT_EQ(bytes_of(dir / "data" / "anaglyph3d.dat"), (std::vector<unsigned char>{0, 0, 0, 0}));
    // Both spellings of the directory reach the one that exists.
    EXPECT_FALSE(fs::exists(dir / "Data"));
    // Nothing temporary is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "data"), fs::directory_iterator()), 2);

    player->best_sc = 0;
    hiscore_io(0);
    EXPECT_EQ(player->best_sc, 1234);
}

TEST_F(SavedValues, AStoredModeSetsItsEyeColours)
{
    put(dir / "data" / "anaglyph3d.dat", {3, 0, 0, 0});
    anaglyph_io(1);
    EXPECT_EQ(mode3d, 3);
    EXPECT_EQ(qvdraw->leye_r, 4);
    EXPECT_EQ(qvdraw->leye_g, 80);
    EXPECT_EQ(qvdraw->leye_b, 60);
    EXPECT_EQ(qvdraw->reye_r, 140);
    EXPECT_EQ(qvdraw->reye_g, 4);
    EXPECT_EQ(qvdraw->reye_b, 10);

    // Mode 0 keeps the last colours; the menu's call (0) neither loads nor saves.
    mode3d = 0;
    anaglyph_io(0);
    EXPECT_EQ(qvdraw->leye_g, 80);
    EXPECT_EQ(bytes_of(dir / "data" / "anaglyph3d.dat")[0], 3);
}

TEST_F(SavedValues, ShortOddOrUnreadableFilesFallBack)
{
    put(dir / "data" / "hiscore.dat", {0x10, 0x27});
    player->best_sc = 5;
    hiscore_io(0);
    EXPECT_EQ(player->best_sc, 0) << "a two-byte file keeps the default";

    // What no game can score is no record: shown as none, and replaced by a
    // real best only, never by the default.
    for (const std::vector<unsigned char>& damaged :
         {std::vector<unsigned char>{'a', 'b', 'c', 'd'}, {0xFF, 0xFF, 0xFF, 0xFF, 0x77}}) {
        put(dir / "data" / "hiscore.dat", damaged);
        player->best_sc = 5;
        hiscore_io(0);
        EXPECT_EQ(player->best_sc, 0) << damaged[0];
        hiscore_io(1);
        EXPECT_EQ(bytes_of(dir / "data" / "hiscore.dat"), damaged);
    }
    player->best_sc = MAX_GAME_SCORE;
    hiscore_io(1);
    EXPECT_EQ(bytes_of(dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0x86, 0x49, 0x7B, 0}));
    hiscore_io(0);
    EXPECT_EQ(player->best_sc, MAX_GAME_SCORE) << "the highest a game can make is kept";

    // Over 2 GiB (sparse): the first four bytes count, not the default.
    put(dir / "data" / "hiscore.dat", {0xD2, 0x04, 0, 0});
    fs::resize_file(dir / "data" / "hiscore.dat", 3ull << 30);
    hiscore_io(0);
    EXPECT_EQ(player->best_sc, 1234);
    hiscore_io(1);
    EXPECT_EQ(bytes_of(dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0xD2, 0x04, 0, 0}));

    for (unsigned char stored : {5, 0xFF}) {
        put(dir / "data" / "anaglyph3d.dat", {stored, stored, stored, stored});
        mode3d = 2;
        anaglyph_io(1);
        EXPECT_EQ(mode3d, 0) << "stored " << int(stored);
    }

    put(dir / "data" / "anaglyph3d.dat", {});
    mode3d = 2;
    anaglyph_io(1);
    EXPECT_EQ(mode3d, 2) << "an empty file keeps the mode";

    fs::remove(dir / "data" / "anaglyph3d.dat");
    fs::create_directory(dir / "data" / "anaglyph3d.dat");
    anaglyph_io(1);
    EXPECT_EQ(mode3d, 2) << "a directory of that name is no file";
}

TEST_F(SavedValues, PlantedNamesAreNeverWrittenThroughAndAFileThatCannotBeWrittenIsSkipped)
{
    put(dir / "data" / "hiscore.dat", {7, 0, 0, 0, 9});
    // Links planted where a temporary file could go lead nowhere.
    put(dir / "victim", {1, 2, 3, 4, 5, 6});
    for (const char* name : {"hiscore.dat.tmp", "hiscore.dat.new", "hiscore.dat~"})
        fs::create_symlink(dir / "victim", dir / "data" / name);
    player->best_sc = 500;
    testing::internal::CaptureStderr();
    hiscore_io(1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(bytes_of(dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0xF4, 1, 0, 0}));
    EXPECT_FALSE(fs::is_symlink(dir / "data" / "hiscore.dat"));
    EXPECT_EQ(bytes_of(dir / "victim"), (std::vector<unsigned char>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "data"), fs::directory_iterator()), 4) << "no temporary left";

    // No data directory at all: the game does not create it.
    fs::remove_all(dir / "data");
    testing::internal::CaptureStderr();
    anaglyph_io(2);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_FALSE(fs::exists(dir / "data"));
    EXPECT_FALSE(fs::exists(dir / "Data"));
}

// What another copy stores meanwhile (the end-to-end test has a real
// program quit over it) stands unless this run made something new.
TEST_F(SavedValues, ACopysOwnChoiceAndRecordGoInAtOnceAndAnothersLaterRecordIsTaken)
{
    put(dir / "data" / "hiscore.dat", {0x88, 0x13, 0, 0});
    put(dir / "data" / "anaglyph3d.dat", {0, 0, 0, 0});
    hiscore_io(0);
    anaglyph_io(1);
    mode3d = 1;
    anaglyph_io(2);
    EXPECT_EQ(bytes_of(dir / "data" / "anaglyph3d.dat")[0], 1);
    put(dir / "data" / "anaglyph3d.dat", {4, 0, 0, 0});
    anaglyph_io(2);
    EXPECT_EQ(bytes_of(dir / "data" / "anaglyph3d.dat")[0], 4) << "chosen once, written once";

    // A game that beats the best keeps it as soon as it ends.
    player->score = 6000;
    player->new_bs = 0;
    wasted_penalty = escaped_penalty = 0;
    end_game();
    EXPECT_EQ(player->new_bs, 1);
    EXPECT_EQ(bytes_of(dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0x70, 0x17, 0, 0}));
    put(dir / "data" / "hiscore.dat", {0x10, 0x27, 0, 0});
    take_stored_best();
    EXPECT_EQ(player->best_sc, 10000) << "a later record of another copy or tab is taken";
}

TEST_F(SavedValues, OnAFullDiskTheNewValueStillReplacesTheOld)
{
    const fs::path disk = dir / "disk";
    fs::create_directories(disk);
    if (std::system(("mount -t tmpfs -o size=64k tmpfs " + disk.string() + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct unmount {
        fs::path at;
        ~unmount() { std::system(("umount " + at.string()).c_str()); }
    } on_exit{disk};
    put(disk / "hiscore.dat", {0xD2, 0x04, 0, 0});
    {
        std::ofstream fill(disk / "fill", std::ios::binary);
        const std::string block(4096, 'x');
        while (fill.write(block.data(), block.size()))
            ;
    }
    use_saved_values_place({disk.string(), ""});
    player->best_sc = 2000;
    testing::internal::CaptureStderr();
    hiscore_io(1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    use_saved_values_place({});
    EXPECT_EQ(bytes_of(disk / "hiscore.dat"), (std::vector<unsigned char>{0xD0, 0x07, 0, 0}));
    EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 2) << "no temporary left";
}

TEST_F(SavedValues, AnInstalledProgramUsesTheUsersDataFolderMadeOnSaveAndSeededFromBesideIt)
{
    // Installed: PREFIX/share/kelvora3d holds data/ with a packager's values.
    fs::create_directories(dir / "prefix/bin");
    fs::create_directories(dir / "prefix/share/kelvora3d/data");
    std::ofstream(dir / "prefix/share/kelvora3d/data/hiscore.dat", std::ios::binary).write("\x39\x30\0\0", 4);
    const TProgramLayout layout = FindProgramLayout((dir / "prefix/bin").string(), "kelvora3d");
    ASSERT_TRUE(layout.installed);
    EXPECT_EQ(layout.files_dir, (dir / "prefix/share/kelvora3d").string());

    const fs::path xdg = dir / "xdg";  // not there yet
    const saved_values_place place = choose_saved_values_place(layout, xdg_saves_folder(xdg.c_str(), "/nonexistent"));
    EXPECT_EQ(place.folder, (xdg / "kelvora3d").string());
    EXPECT_EQ(choose_saved_values_place(layout, xdg_saves_folder("relative", dir.c_str())).folder,
              (dir / ".local/share/kelvora3d").string());
    use_saved_values_place(place);
    hiscore_io(0);
    EXPECT_EQ(player->best_sc, 12345) << "seeded from beside the program";
    player->best_sc = 20000;
    hiscore_io(1);
    use_saved_values_place({});
    EXPECT_EQ(bytes_of(xdg / "kelvora3d/hiscore.dat"), (std::vector<unsigned char>{0x20, 0x4E, 0, 0}));
    EXPECT_EQ(bytes_of(dir / "prefix/share/kelvora3d/data/hiscore.dat"),
              (std::vector<unsigned char>{0x39, 0x30, 0, 0}));
}

TEST_F(SavedValues, APortableTreeWithAWritableDataFolderKeepsThemThere)
{
    const TProgramLayout layout = FindProgramLayout(dir.string(), "kelvora3d");
    EXPECT_FALSE(layout.installed);
    EXPECT_EQ(choose_saved_values_place(layout, xdg_saves_folder((dir / "xdg").c_str(), nullptr)).folder, "data");
}
