// The engine as another game uses it: the settings Init takes, objects held
// in globals past main, drawing with no graphics open.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kelvora/kelvora.h"
#include "render/renderer_choice.h"
#include "system/sdl/pad_mappings.h"

extern char** environ;

using namespace kelvora;

namespace {

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// Set in the child that plays the program below.
const char* const kChildMode = "KV_ENGINE_TEST_PROGRAM";

// Held by the program past main: released after every engine state it
// used, at the very end of exit.
TImagePtr held_image;
TImageFontPtr held_font;
TSoundPtr held_sound;
TChannelPtr held_channel;

TEngineSettings settings(const std::string& app_name, const std::string& config_folder = "",
                         const std::string& renderer_variable = TEngineSettings().renderer_variable)
{
    TEngineSettings s;
    s.app_name = app_name;
    s.config_folder = config_folder;
    s.renderer_variable = renderer_variable;
    return s;
}

struct child_result {
    int status = -1;  // exit status, 128 + signal when killed
    std::string output;
};

// This test program again, running only the named test with mode set, in
// a process group of its own that is killed however the wait ends.
child_result run_child(const std::string& test, const std::string& mode)
{
    char out_name[] = "/tmp/kv_engine_child_XXXXXX";
    const int out = mkstemp(out_name);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back(std::string(kChildMode) + "=" + mode);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe", filter = "--gtest_filter=" + test;
    char* argv[] = {exe.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, out, 1);
    posix_spawn_file_actions_adddup2(&files, out, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    child_result r;
    pid_t pid = -1;
    if (posix_spawn(&pid, exe.c_str(), &files, &attr, argv, envp.data()) == 0) {
        // A bound for failure only: the wait ends when the child does.
        int status = 0, waited = 0;
        while (waitpid(pid, &status, WNOHANG) == 0 && ++waited < 6000) usleep(20000);
        kill(-pid, SIGKILL);
        if (waited == 6000) waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    close(out);
    std::ifstream in(out_name);
    r.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    unlink(out_name);
    return r;
}

}  // namespace

// The program the lifetime test runs: an image, a font and a playing sound
// kept in globals; "shutdown" stops the engine before main returns, "exit"
// leaves everything to the end of the process.
TEST(EngineProgram, HoldsObjectsInGlobals)
{
    const char* mode = std::getenv(kChildMode);
    if (!mode) GTEST_SKIP() << "the program EngineLifetime runs";
    Shutdown();  // before Init: harmless
    Init(settings("Engine test"));
    ASSERT_NE(Graphics(320, 240, 0, 0, 0), nullptr) << LastGraphicsError();
    held_image = LoadImage(KV_SOURCE_DIR "/tests/data/pngsuite/png/basn6a08.png");
    held_font = LoadImageFont(kDejaVu, 20, FONT_SMOOTH);
    held_sound = LoadSound(KV_SOURCE_DIR "/data/laserfire.ogg", SOUND_LOOP);
    ASSERT_TRUE(held_image && held_font && held_sound);
    held_channel = PlaySound(held_sound);
    ASSERT_TRUE(ChannelPlaying(held_channel));
    SetImageFont(held_font);
    Cls();
    DrawImage(held_image, 10, 10);
    DrawText("held", 10, 100);
    Flip(0);
    ASSERT_NE(GrabPixmap(0, 0, 320, 240), nullptr);
    if (std::string(mode) == "shutdown") {
        Shutdown();
        Shutdown();
    }
}

TEST(EngineLifetime, ObjectsHeldInGlobalsAreReleasedHarmlesslyAfterMain)
{
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run through scripts/with-xvfb.sh)";
    for (const char* mode : {"shutdown", "exit"}) {
        const child_result r = run_child("EngineProgram.HoldsObjectsInGlobals", mode);
        EXPECT_EQ(r.status, 0) << mode << ":\n" << r.output;
        EXPECT_NE(r.output.find("[       OK ] EngineProgram.HoldsObjectsInGlobals"), std::string::npos)
            << mode << ":\n" << r.output;
        // What the sanitisers say without ending the program (UBSan's
        // default), or that of a build without halt_on_error.
        for (const char* report : {"runtime error", "Sanitizer", "no graphics open"})
            EXPECT_EQ(r.output.find(report), std::string::npos) << mode << ": " << report << "\n" << r.output;
    }
}

TEST(EngineMisuse, DrawingWithoutGraphicsDoesNothingAndSaysSoOnce)
{
    const TImagePtr image = CreateImage(4, 4, 1, 0);
    testing::internal::CaptureStderr();
    Cls();
    SetColor(1, 2, 3);
    SetOrigin(5, 5);
    DrawRect(0, 0, 4, 4);
    DrawImage(image, 0, 0);
    GrabImage(image, 0, 0);
    DrawText("text", 0, 0);
    EXPECT_EQ(GrabPixmap(0, 0, 4, 4), nullptr);
    Flip(0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cls with no graphics open: drawing does nothing until Graphics opens them\n");
    // Nothing was set: the defaults read back.
    int r = 0, g = 0, b = 0;
    float x = 1, y = 1;
    GetColor(r, g, b);
    GetOrigin(x, y);
    EXPECT_EQ((std::vector<float>{float(r), float(g), float(b), x, y}), (std::vector<float>{255, 255, 255, 0, 0}));
    EXPECT_EQ(GetImageFont(), DefaultImageFont());
}

// Fonts load as images do: FreeType needs no Init.
TEST(EngineMisuse, FontsLoadWithoutInit)
{
    const TImageFontPtr font = LoadImageFont(kDejaVu, 20, 0);
    ASSERT_NE(font, nullptr);
    EXPECT_GT(font->Height(), 16);
    EXPECT_EQ(LoadImageFont("/no/such/font.ttf", 20, 0), nullptr);
}

TEST(EngineSettings, NamesComeFromTheProgram)
{
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", "/cfg", 1), 0);
    ASSERT_EQ(setenv("SPACE_BATS_RENDERER", "core", 1), 0);
    ASSERT_EQ(setenv("KELVORA_RENDERER", "es", 1), 0);
    Init(settings("Space Bats!", "", "SPACE_BATS_RENDERER"));
    EXPECT_EQ(AppTitle(), "Space Bats!");
    EXPECT_EQ(UserPadMappingFile(), "/cfg/spacebats/gamecontrollerdb.txt");
    EXPECT_EQ(CurrentRenderer(), TRenderer::Core);
    Shutdown();

    // The defaults: the engine's variable, the folder from the title.
    Init(settings("../Über Game 2"));
    EXPECT_EQ(UserPadMappingFile(), "/cfg/Übergame2/gamecontrollerdb.txt");
    EXPECT_EQ(CurrentRenderer(), TRenderer::ES);
    Shutdown();

    Init(settings("", "bats", ""));
    EXPECT_EQ(UserPadMappingFile(), "/cfg/bats/gamecontrollerdb.txt");
    EXPECT_EQ(CurrentRenderer(), TRenderer::Legacy);
    Shutdown();

    // A bad value is said and the default order kept.
    ASSERT_EQ(setenv("KELVORA_RENDERER", "vulkan", 1), 0);
    testing::internal::CaptureStderr();
    Init();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "bad value 'vulkan' for KELVORA_RENDERER (legacy, core or es); the renderers are tried in the default "
              "order\n");
    EXPECT_EQ(CurrentRenderer(), TRenderer::Legacy);
    Shutdown();
}
