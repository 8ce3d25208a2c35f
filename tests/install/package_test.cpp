// The .deb: its metadata and contents, and the program extracted from it.
#include <gtest/gtest.h>

#include "session.h"

namespace {

TEST(Package, IsADebForTheGamesSectionAndItsProgramRuns)
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

    const std::string contents = run("dpkg-deb --contents " + shq(deb)).out;
    for (const char* path : {"./usr/bin/kelvora3d", "./usr/share/kelvora3d/data/kelvora.ogg",
                             "./usr/share/applications/org.kelvora.kelvora3d.desktop",
                             "./usr/share/icons/hicolor/256x256/apps/org.kelvora.kelvora3d.png",
                             "./usr/share/metainfo/org.kelvora.kelvora3d.metainfo.xml",
                             "./usr/share/man/man6/kelvora3d.6", "./usr/share/doc/kelvora3d/copyright"})
        EXPECT_NE(contents.find(path), std::string::npos) << path;
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
    background game("cd / && HOME=" + shq(home.string()) + " XDG_DATA_HOME= " + as_nobody() +
                    shq((root / "usr/bin/kelvora3d").string()) + " --window");
    EXPECT_EQ(game.escape_until_exit(), 0);
    EXPECT_EQ(bytes_of(home / ".local/share/kelvora3d/hiscore.dat"), int_bytes(0));
}

}  // namespace
