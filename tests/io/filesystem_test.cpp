#include <gtest/gtest.h>

#include "kelvora/io/filesystem.h"
#include "kelvora/io/stream.h"
#include "runtime/utf8_path.h"
#include "temp_dir.h"

using namespace kelvora;

namespace {

TEST(NormalizePath, TurnsBackslashesAndFixesDriveAndNetworkRoots)
{
    EXPECT_EQ(NormalizePath("data\\hiscore.dat"), "data/hiscore.dat");
    EXPECT_EQ(NormalizePath("C:games\\hiscore.dat"), "C:/games/hiscore.dat");
    EXPECT_EQ(NormalizePath("C:\\games"), "C:/games");
    EXPECT_EQ(NormalizePath("incbin::graphx\\qvlogo.png"), "incbin::graphx/qvlogo.png");
    EXPECT_EQ(NormalizePath("dir/a:b"), "dir/a:b");
    EXPECT_EQ(NormalizePath("\\\\server"), "//server/");
    EXPECT_EQ(NormalizePath("data\\", true), "data");
    EXPECT_EQ(NormalizePath("C:\\", true), "C:/");
    EXPECT_EQ(NormalizePath("/", true), "/");
#ifdef _WIN32
    EXPECT_EQ(SystemPathText(NormalizePath("C:\\Games\\data")), "C:\\Games\\data") << "as Windows writes it";
#else
    EXPECT_EQ(SystemPathText("/games/a\\b"), "/games/a\\b") << "a backslash is part of a name here";
#endif
}

class Files : public TempDirTest {};

TEST_F(Files, FileTypeTellsFilesDirectoriesAndNothing)
{
    std::filesystem::create_directory(dir_ / "data");
    std::string hiscore = Path("data") + "\\hiscore.dat";
    EXPECT_EQ(FileType(hiscore), FILETYPE_NONE);
    WriteFile("data/hiscore.dat", {1, 0, 0, 0});
    EXPECT_EQ(FileType(hiscore), FILETYPE_FILE);
    EXPECT_EQ(FileType(Path("data")), FILETYPE_DIR);
    std::filesystem::remove(dir_ / "data/hiscore.dat");
    EXPECT_EQ(FileType(hiscore), FILETYPE_NONE);
    EXPECT_EQ(FileType(""), FILETYPE_NONE);
    // The null device is there, but is no file.
#ifdef _WIN32
    EXPECT_EQ(FileType("NUL"), FILETYPE_NONE);
    EXPECT_EQ(FileType(Path("data") + "/NUL"), FILETYPE_NONE);
#else
    EXPECT_EQ(FileType("/dev/null"), FILETYPE_NONE);
    // Names with "<" or ">" are never asked for, though this file system has them.
    WriteFile("a>b", {1});
    ASSERT_TRUE(std::filesystem::exists(dir_ / "a>b"));
#endif
    // Nor do they match as Windows' wildcards would ("<" and ">" are those there).
    WriteFile("a.b", {1});
    EXPECT_EQ(FileType(Path("a>b")), FILETYPE_NONE);
    EXPECT_EQ(FileType(Path("a<")), FILETYPE_NONE);
}

TEST_F(Files, BothSpellingsOfTheDataDirectoryReachOneDirectory)
{
    std::filesystem::create_directory(dir_ / "data");
    std::string upper = Path("Data") + "\\anaglyph3d.dat";
    TStreamPtr w = WriteStream(upper);  // created through the other spelling
    ASSERT_TRUE(w);
    WriteInt(w, 3);
    CloseStream(w);
    // The folder as it is spelt on disk, with no twin (asked by listing, as
    // Windows' own calls ignore case).
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(PathUtf8(e.path().filename()));
    EXPECT_EQ(names, std::vector<std::string>{"data"});
    EXPECT_TRUE(std::filesystem::exists(dir_ / "data/anaglyph3d.dat"));
    EXPECT_EQ(FileType(upper), FILETYPE_FILE);
    EXPECT_EQ(FileType(Path("DaTa")), FILETYPE_DIR);
    TStreamPtr r = ReadStream(Path("DATA") + "\\Anaglyph3D.dat");
    ASSERT_TRUE(r);
    EXPECT_EQ(ReadInt(r), 3);
    CloseStream(r);

    // Rewriting through another spelling replaces the file, never adds a twin.
    w = WriteStream(Path("data") + "\\ANAGLYPH3D.DAT");
    ASSERT_TRUE(w);
    CloseStream(w);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "data"), {}), 1);
    EXPECT_EQ(ReadFile("data/anaglyph3d.dat").size(), 0u);

#ifndef _WIN32
    // Where the file system tells case apart (Windows' do not, and cannot
    // hold both), the exact spelling wins; otherwise the first match in byte order.
    std::filesystem::create_directories(dir_ / "Sub");
    std::filesystem::create_directories(dir_ / "sub");
    WriteFile("Sub/x", {1});
    WriteFile("sub/x", {2});
    EXPECT_EQ(ReadStream(Path("sub/x"))->ReadByte(), 2);
    EXPECT_EQ(ReadStream(Path("SUB/x"))->ReadByte(), 1);
#endif
    EXPECT_FALSE(WriteStream(Path("nothing/here.dat")));
}

} // namespace

// A player's folder may be named in any script: every file operation takes
// UTF-8 and reaches the same file, and a replaced file holds exactly the new
// bytes with nothing left beside it.
TEST_F(Files, FoldersAndFilesWithNonAsciiNamesAreMadeReplacedAndRead)
{
    const std::string folder = PathUtf8(dir_) + "/Zoë/Καλημέρα/データ";
    const std::string file = folder + "/hiscore.dat";
    ASSERT_TRUE(CanWriteFile(file)) << "the folders can be made";
    std::string error;
    ASSERT_TRUE(CreateFolders(folder, &error)) << error;
    EXPECT_TRUE(CreateFolders(folder)) << "made already is fine";
    EXPECT_EQ(FileType(folder), FILETYPE_DIR);
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / Utf8Path("Zoë/Καλημέρα/データ")));

    const unsigned char first[6] = {1, 2, 3, 4, 5, 6}, second[4] = {0xD2, 0x04, 0, 0};
    ASSERT_TRUE(ReplaceFileContents(file, first, 6, &error)) << error;
    ASSERT_TRUE(ReplaceFileContents(file, second, 4, &error)) << error;
    EXPECT_EQ(FileType(file), FILETYPE_FILE);
    auto in = ReadStream(file);
    ASSERT_TRUE(in);
    EXPECT_EQ(StreamSize(in), 4);
    EXPECT_EQ(ReadInt(in), 1234);
    CloseStream(in);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / Utf8Path("Zoë/Καλημέρα/データ")),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left";

    // A folder squatting on the name the new content is first written to:
    // the file itself may be changed, so the bytes go over the old ones and
    // the excess is cut.
    std::filesystem::create_directory(dir_ / Utf8Path("Zoë/Καλημέρα/データ/hiscore.dat.tmp"));
    ASSERT_TRUE(ReplaceFileContents(file, first + 3, 3, &error)) << error;
    EXPECT_EQ(ReadFile("Zoë/Καλημέρα/データ/hiscore.dat"), (std::vector<unsigned char>{4, 5, 6}));

    // A folder cannot be made where a file stands; the reason is given.
    EXPECT_FALSE(CreateFolders(file + "/below", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(CanWriteFile(file + "/below/x"));
}
