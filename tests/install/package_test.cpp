// The .deb: its metadata and contents as Debian's policy and lintian want
// them, and the program extracted from it.
#include <gtest/gtest.h>

#include <algorithm>

#include "session.h"

namespace {

TEST(Package, IsADebThatLintianAcceptsAndItsProgramFindsItsSounds)
{
    scratch s("package");
    const auto built = run("cd " + shq(s.dir.string()) + " && cpack -G DEB --config " +
                           shq(std::string(KV_BUILD_DIR) + "/CPackConfig.cmake") + " -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip -B " +
                           shq(s.dir.string()));
    ASSERT_EQ(built.status, 0) << built.out;
    std::string deb;
    for (const auto& e : fs::directory_iterator(s.dir))
        if (e.path().extension() == ".deb")
            deb = e.path().string();
    ASSERT_FALSE(deb.empty()) << built.out;

    const std::string info = run("dpkg-deb --info " + shq(deb)).out;
    EXPECT_NE(info.find("Package: kelvora3d"), std::string::npos) << info;
    EXPECT_NE(info.find("Section: games"), std::string::npos) << info;
    // Found by shlibdeps from what the program links, never a -dev package.
    for (const char* lib : {"libsdl2-2.0-0", "libpng16-16", "libfreetype6", "libvorbisfile3", "libc6"})
        EXPECT_NE(info.find(lib), std::string::npos) << lib << "\n" << info;
    EXPECT_EQ(info.find("-dev"), std::string::npos) << info;

    // Games in /usr/games, manual pages and the changelog compressed; the
    // rest as `make install` lays it out.
    const std::string contents = run("dpkg-deb --contents " + shq(deb)).out;
    for (const char* path : {"./usr/games/kelvora3d", "./usr/share/kelvora3d/data/kelvora.ogg",
                             "./usr/share/applications/org.kelvora.kelvora3d.desktop",
                             "./usr/share/icons/hicolor/256x256/apps/org.kelvora.kelvora3d.png",
                             "./usr/share/metainfo/org.kelvora.kelvora3d.metainfo.xml",
                             "./usr/share/man/man6/kelvora3d.6.gz", "./usr/share/doc/kelvora3d/copyright",
                             "./usr/share/doc/kelvora3d/changelog.gz"})
        EXPECT_NE(contents.find(path), std::string::npos) << path << "\n" << contents;
    EXPECT_EQ(contents.find("./usr/bin/"), std::string::npos) << contents;
    // lintian's own advice is not to run it as root.
    std::string lintian = "cd /";
    for (const auto& word : as_nobody({"lintian", "--no-cfg", deb}))
        lintian += " " + shq(word);
    const auto lint = run(lintian);
    EXPECT_EQ(lint.status, 0) << lint.out;
    EXPECT_EQ(lint.out, "") << "no error, no warning";
    const auto top = run("dpkg-deb --fsys-tarfile " + shq(deb) +
                         " | tar -xOf - ./usr/share/doc/kelvora3d/changelog.gz | gzip -dc | head -1");
    const auto version = run_program({.argv = {KV_PROGRAM, "--version"}}).out;  // "kelvora3d X.Y.Z"
    EXPECT_EQ(top.out.rfind("kelvora3d (" + version.substr(10, version.size() - 11) + ") ", 0), 0u)
        << "the changelog's last entry is this release: " << top.out;
    const auto copyright = bytes_of(fs::path(KV_SOURCE_DIR) / "dist/copyright");
    const std::string licences(copyright.begin(), copyright.end());
    EXPECT_NE(licences.find("License: OFL-1.1"), std::string::npos) << "the embedded font's licence";

    // Installable here (its dependencies are met), and its program runs.
    const auto dry = run("dpkg --dry-run --force-not-root -i " + shq(deb));
    EXPECT_EQ(dry.status, 0) << dry.out;
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    const fs::path root = s.dir / "root";
    ASSERT_EQ(run("dpkg-deb -x " + shq(deb) + " " + shq(root.string())).status, 0);
    const fs::path home = s.dir / "home";
    fs::create_directories(home);
    own(home, NOBODY, 0700);
    // The sounds are found from /usr/games: the title music plays.
    const fs::path audio = home / "audio.raw";
    background game({.argv = as_nobody({(root / "usr/games/kelvora3d").string(), "--window"}),
                     .env = {"HOME=" + home.string(), "XDG_DATA_HOME=", "SDL_AUDIODRIVER=disk",
                             "SDL_DISKAUDIOFILE=" + audio.string(), "SDL_DISKAUDIODELAY=5"},
                     .dir = "/"});
    // Two seconds of output from the logo on, where the music starts.
    ASSERT_TRUE(game.frames(1)) << "the logo never came";
    std::error_code ec;
    const auto music = fs::file_size(audio, ec);
    ASSERT_FALSE(ec) << "no sound output";
    EXPECT_TRUE(file_reaches(audio, music + 44100 * 4 * 2));
    EXPECT_EQ(game.escape_until_exit(), 0);
    const auto sound = bytes_of(audio);
    ASSERT_GT(sound.size(), music);
    EXPECT_LT(std::count(sound.begin() + static_cast<long>(music), sound.end(), 0),
              static_cast<long>(sound.size() - music) * 9 / 10)
        << "silence: the music was not found";
    EXPECT_EQ(bytes_of(home / ".local/share/kelvora3d/hiscore.dat"), int_bytes(0));
}

}  // namespace
