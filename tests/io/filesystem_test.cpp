#include <gtest/gtest.h>

#include "io/filesystem.h"
#include "io/stream.h"
#include "temp_dir.h"

namespace {

TEST(NormalizePath, TurnsBackslashesAndFixesDriveAndNetworkRoots)
{
    EXPECT_EQ(NormalizePath("data\\hiscore.dat"), "data/hiscore.dat");
    EXPECT_EQ(NormalizePath("C:games\\hiscore.dat"), "C:/games/hiscore.dat");
    EXPECT_EQ(NormalizePath("C:\\games"), "C:/games");
    EXPECT_EQ(NormalizePath("C:"), "C:");
    EXPECT_EQ(NormalizePath("incbin::graphx\\qvlogo.png"), "incbin::graphx/qvlogo.png");
    EXPECT_EQ(NormalizePath("dir/a:b"), "dir/a:b");
    EXPECT_EQ(NormalizePath("\\\\server"), "//server/");
    EXPECT_EQ(NormalizePath("//server/share"), "//server/share");
    EXPECT_EQ(NormalizePath(""), "");

    EXPECT_EQ(NormalizePath("data\\", true), "data");
    EXPECT_EQ(NormalizePath("/", true), "/");
    EXPECT_EQ(NormalizePath("C:\\", true), "C:/");
    EXPECT_EQ(NormalizePath("\\\\server", true), "//server/");
    EXPECT_EQ(NormalizePath("data\\", false), "data/");

    std::string caller = "a\\b";
    NormalizePath(caller);
    EXPECT_EQ(caller, "a\\b");
}

class FileTypeQuery : public TempDirTest {};

TEST_F(FileTypeQuery, TellsFilesDirectoriesAndNothing)
{
    std::filesystem::create_directory(dir_ / "data");
    std::string hiscore = Path("data") + "\\hiscore.dat";
    EXPECT_EQ(FileType(hiscore), FILETYPE_NONE);
    WriteFile("data/hiscore.dat", {1, 0, 0, 0});
    EXPECT_EQ(FileType(hiscore), FILETYPE_FILE);
    EXPECT_EQ(FileType(Path("data")), FILETYPE_DIR);
    EXPECT_EQ(FileType(Path("data") + "\\"), FILETYPE_DIR);
    std::filesystem::remove(dir_ / "data/hiscore.dat");
    EXPECT_EQ(FileType(hiscore), FILETYPE_NONE);
    EXPECT_EQ(FileType(""), FILETYPE_NONE);
    EXPECT_EQ(FileType("/dev/null"), FILETYPE_NONE);     // neither file nor directory
}

TEST_F(FileTypeQuery, AngleBracketsAreNeverAskedFor)
{
    WriteFile("a>b", {1});
    WriteFile("c<d", {1});
    ASSERT_TRUE(std::filesystem::exists(dir_ / "a>b"));
    EXPECT_EQ(FileType(Path("a>b")), FILETYPE_NONE);
    EXPECT_EQ(FileType(Path("c<d")), FILETYPE_NONE);
}

class CaseInsensitivePaths : public TempDirTest {};

TEST_F(CaseInsensitivePaths, BothSpellingsOfTheDataDirectoryReachOneDirectory)
{
    std::filesystem::create_directory(dir_ / "data");
    std::string upper = Path("Data") + "\\anaglyph3d.dat";
    std::string lower = Path("data") + "\\hiscore.dat";

    // Created through the other spelling: lands in the existing directory.
    TStreamPtr w = WriteStream(upper);
    ASSERT_TRUE(w);
    WriteInt(w, 3);
    CloseStream(w);
    w = WriteStream(lower);
    ASSERT_TRUE(w);
    WriteInt(w, 9000);
    CloseStream(w);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "data/anaglyph3d.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "Data"));

    EXPECT_EQ(FileType(upper), FILETYPE_FILE);
    EXPECT_EQ(FileType(Path("DATA") + "\\HISCORE.DAT"), FILETYPE_FILE);
    EXPECT_EQ(FileType(Path("DaTa")), FILETYPE_DIR);
    TStreamPtr r = ReadStream(Path("DATA") + "\\Anaglyph3D.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(ReadInt(r), 3);
    CloseStream(r);

    // Rewriting through another spelling replaces the file, never adds a twin.
    w = WriteStream(Path("data") + "\\HiScore.dat");
    ASSERT_TRUE(w);
    WriteInt(w, 1);
    CloseStream(w);
    EXPECT_EQ(ReadFile("data/hiscore.dat"), (std::vector<unsigned char>{1, 0, 0, 0}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "data"), {}), 2);
}

TEST_F(CaseInsensitivePaths, ExactSpellingWinsAndMissingPartsStayMissing)
{
    std::filesystem::create_directories(dir_ / "Sub");
    std::filesystem::create_directories(dir_ / "sub");
    WriteFile("Sub/x.bin", {1});
    WriteFile("sub/x.bin", {2});
    TStreamPtr r = ReadStream(Path("sub/x.bin"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ReadByte(), 2);
    CloseStream(r);
    // No exact spelling: the first match in byte order ("Sub" < "sub").
    r = ReadStream(Path("SUB/x.bin"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ReadByte(), 1);
    CloseStream(r);

    EXPECT_EQ(ResolvePathCase(Path("nothing/here.dat")), Path("nothing/here.dat"));
    EXPECT_FALSE(WriteStream(Path("nothing/here.dat")));
    EXPECT_EQ(FileType(Path("sub/y.bin")), FILETYPE_NONE);
}

} // namespace
