// The real program under X, driven like a player with xdotool through XTEST
// (SDL ignores events sent to a window directly). Needs DISPLAY
// (scripts/with-xvfb.sh gives a private server); skipped without one.
#include <gtest/gtest.h>
// After gtest: the X11 headers' macros clash with its names.
#include <X11/Xlib.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/install/session.h"

namespace {

std::string run_output(const std::string& cmd)
{
    std::string out = run(cmd).out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// The program copied into a fresh folder with its data, run from there.
struct game_copy {
    explicit game_copy(const std::string& name) : s("e2e_" + name)
    {
        copy_sounds(s.dir / "data");
        fs::copy_file(KV_PROGRAM, s.dir / "kelvora3d");
    }
    launch with(std::vector<std::string> env) const
    {
        return {.argv = {(s.dir / "kelvora3d").string()}, .env = std::move(env)};
    }
    fs::path data() const { return s.dir / "data"; }
    scratch s;
};

// Screen position of a point of the 640x480 picture, scaled to fit the
// display with its aspect kept.
std::pair<int, int> screen_point(int x, int y)
{
    const std::string geo = run_output("xdotool getdisplaygeometry");
    int w = 640, h = 480;
    std::sscanf(geo.c_str(), "%d %d", &w, &h);
    const double s = std::min(w / 640.0, h / 480.0);
    const int ox = static_cast<int>((w - 640 * s) / 2);
    const int oy = static_cast<int>((h - 480 * s) / 2);
    return {ox + static_cast<int>(x * s + s / 2), oy + static_cast<int>(y * s + s / 2)};
}

// Where the X pointer is, in screen pixels.
std::pair<int, int> pointer()
{
    const std::string loc = run_output("xdotool getmouselocation");
    int x = -1, y = -1;
    std::sscanf(loc.c_str(), "x:%d y:%d", &x, &y);
    return {x, y};
}

// True when the pointer sits on the given point of the picture: the game
// puts it at (320, 250) whenever the title or the pause menu opens.
bool pointer_at(int x, int y)
{
    const auto [px, py] = pointer();
    const auto [sx, sy] = screen_point(x, y);
    return std::abs(px - sx) <= 1 && std::abs(py - sy) <= 1;
}

// The same, allowing a slow machine time to get there.
bool pointer_reaches(int x, int y)
{
    for (int i = 0; i < 200; ++i) {
        if (pointer_at(x, y))
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

void park_pointer()
{
    xdo("mousemove --sync 5 5");
}

// A click as a hand makes it: the pointer arrives (in two steps, so the
// game sees it move onto the row) and rests while the game draws two frames,
// since the menu takes the row under the pointer at the start of a frame and
// acts on a click that comes later in it. Then the click, and its effect.
bool click_at(background& game, int x, int y, const frame_test& done)
{
    const auto [sx, sy] = screen_point(x, y);
    xdo("mousemove --sync " + std::to_string(sx + 1) + " " + std::to_string(sy + 1) + " mousemove --sync " +
        std::to_string(sx) + " " + std::to_string(sy));
    return game.frames(2) && game.input("click 1", done);
}

frame_test mode_is(int mode)
{
    return [mode](const frame_state& s) { return s.mode3d == mode; };
}

// The logo skipped with Space once it shows; the pointer over the window
// for the keyboard's sake.
bool to_title(background& game)
{
    park_pointer();
    return game.to_title();
}

bool needs_display()
{
    return std::getenv("DISPLAY") == nullptr;
}

}  // namespace

TEST(EndToEnd, StartsFullScreenSkipsTheLogoAnswersTheMenuAndQuits)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    game_copy copy("menu");
    background game(copy.with({"SDL_AUDIODRIVER=dummy"}));
    const std::string win = game.wait_window();
    ASSERT_FALSE(win.empty()) << "no game window appeared";
    ASSERT_TRUE(to_title(game)) << "the title menu never opened " << game.now();
    // Full screen: the window covers the whole display.
    const std::string geo = run_output("xdotool getwindowgeometry --shell " + win);
    const std::string disp = run_output("xdotool getdisplaygeometry");
    int dw = 0, dh = 0;
    std::sscanf(disp.c_str(), "%d %d", &dw, &dh);
    EXPECT_NE(geo.find("WIDTH=" + std::to_string(dw)), std::string::npos) << geo;
    EXPECT_NE(geo.find("HEIGHT=" + std::to_string(dh)), std::string::npos) << geo;
    EXPECT_TRUE(pointer_reaches(320, 250)) << "the title menu takes the pointer";

    // "3D Graphics: " once: Off -> "M\G"
    ASSERT_TRUE(click_at(game, 320, 275, mode_is(1))) << game.now();
    xdo("key Escape");
    ASSERT_EQ(game.wait_exit(60s), 0);
    EXPECT_EQ(bytes_of(copy.data() / "hiscore.dat"), (std::vector<unsigned char>{0, 0, 0, 0}));
    EXPECT_EQ(bytes_of(copy.data() / "anaglyph3d.dat"), (std::vector<unsigned char>{1, 0, 0, 0}));
}

TEST(EndToEnd, PlaysPausesResumesAndLeavesWithSound)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    game_copy copy("play");
    put_bytes(copy.data() / "hiscore.dat", int_bytes(4321));
    const fs::path audio = copy.s.dir / "audio.raw";
    background game(copy.with({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio.string(), "SDL_DISKAUDIODELAY=5"}));
    ASSERT_FALSE(game.wait_window().empty()) << "no game window appeared";
    ASSERT_TRUE(to_title(game)) << "the title menu never opened " << game.now();
    EXPECT_EQ(game.now().best, 4321);
    ASSERT_TRUE(click_at(game, 320, 245, in_state(PLAY))) << "Start Game " << game.now();
    for (int shots = 1; shots <= 4; ++shots)
        ASSERT_TRUE(game.input("key Control_L", [&](const frame_state& f) { return f.shots == shots; })) << game.now();
    park_pointer();
    ASSERT_TRUE(game.input("key space", in_state(PAUSE))) << game.now();
    EXPECT_TRUE(pointer_reaches(320, 250)) << "the pause menu takes the pointer";
    ASSERT_TRUE(game.input("key space", in_state(PLAY))) << "resume " << game.now();
    ASSERT_TRUE(game.input("key Escape", in_state(PAUSE))) << game.now();
    ASSERT_TRUE(game.input("key Escape", in_state(TITLE))) << "leave the game " << game.now();
    EXPECT_EQ(game.now().shots, 4) << "one shot a key, none after";
    xdo("key Escape");  // quit
    ASSERT_EQ(game.wait_exit(60s), 0);
    EXPECT_EQ(bytes_of(copy.data() / "hiscore.dat"), int_bytes(4321));
    const auto sound = bytes_of(audio);
    ASSERT_GT(sound.size(), 44100u);
    size_t loud = 0;
    for (size_t i = 0; i + 1 < sound.size(); i += 2) {
        const int v = static_cast<int16_t>(sound[i] | (sound[i + 1] << 8));
        if (std::abs(v) > 500)
            ++loud;
    }
    EXPECT_GT(loud, 1000u) << "the audio output is silent";
}

namespace {

// Another client's window on the same display, to take the focus away.
class OtherWindow {
public:
    OtherWindow()
    {
        display = XOpenDisplay(nullptr);
        if (!display)
            return;
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 200, 0, 0, 0);
        XStoreName(display, window, "other window");
        XSelectInput(display, window, StructureNotifyMask);
        XMapWindow(display, window);
        // Only a viewable window can take the focus.
        for (XEvent e; XNextEvent(display, &e) == 0 && e.type != MapNotify;) {
        }
    }
    ~OtherWindow()
    {
        if (display)
            XCloseDisplay(display);
    }
    std::string id() const { return std::to_string(static_cast<unsigned long>(window)); }

    // What a window manager sends when the player (or the ending session)
    // closes a window.
    void close(const std::string& other_id)
    {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = std::stoul(other_id);
        e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, e.xclient.window, False, NoEventMask, &e);
        XSync(display, False);
    }

    Display* display = nullptr;
    Window window = 0;
};

// The game waits, drawing nothing: no frame for many frames' time, even on
// a busy machine. (Should it only stall, the close still has to end it.)
bool drawing_stops(background& game)
{
    using clock = std::chrono::steady_clock;
    long frame = game.now().frame;
    auto still_since = clock::now();
    for (const auto until = still_since + 60s; clock::now() < until;) {
        std::this_thread::sleep_for(100ms);
        if (game.now().frame != frame) {
            frame = game.now().frame;
            still_since = clock::now();
        } else if (clock::now() - still_since >= 2s) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The game waits, drawing nothing, while another window has the focus; a
// close or a quit then (the desktop session ending) must still end it in
// order, with both files written, and not only once the focus comes back.
TEST(EndToEnd, CloseOrQuitWhileAnotherWindowHasTheFocusEndsTheGame)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    for (const bool by_signal : {false, true}) {
        game_copy copy(by_signal ? "suspended_quit" : "suspended_close");
        background game(copy.with({"SDL_AUDIODRIVER=dummy"}));
        const std::string win = game.wait_window();
        ASSERT_FALSE(win.empty()) << "no game window appeared";
        ASSERT_TRUE(to_title(game)) << "the title menu never opened " << game.now();
        OtherWindow other;
        ASSERT_TRUE(other.display);
        xdo("windowfocus --sync " + other.id());
        ASSERT_TRUE(drawing_stops(game)) << "the game draws on without the focus " << game.now();
        if (by_signal)
            kill(game.pid(), SIGTERM);
        else
            other.close(win);
        ASSERT_EQ(game.wait_exit(60s), 0) << (by_signal ? "SIGTERM" : "window close");
        EXPECT_EQ(bytes_of(copy.data() / "hiscore.dat"), int_bytes(0));
        EXPECT_EQ(bytes_of(copy.data() / "anaglyph3d.dat"), int_bytes(0));
    }
}

// The values outlive a closed terminal and a killed process, and two copies
// of the game sharing the files do not undo each other's records.
TEST(EndToEnd, ValuesSurviveAHangUpAKillAndAnotherCopy)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    {
        // A first run ended by a hang-up leaves both files, as a normal end.
        game_copy copy("hangup");
        background game(copy.with({"SDL_AUDIODRIVER=dummy"}));
        ASSERT_TRUE(to_title(game)) << "the title menu never opened " << game.now();
        kill(game.pid(), SIGHUP);
        ASSERT_EQ(game.wait_exit(60s), 0) << "SIGHUP";
        EXPECT_EQ(bytes_of(copy.data() / "hiscore.dat"), int_bytes(0));
        EXPECT_EQ(bytes_of(copy.data() / "anaglyph3d.dat"), int_bytes(0));
    }
    {
        // Loaded 1234 and Off; another copy then keeps 5000 and R\C.
        game_copy copy("copies");
        put_bytes(copy.data() / "hiscore.dat", int_bytes(1234));
        background game(copy.with({"SDL_AUDIODRIVER=dummy"}));
        ASSERT_TRUE(to_title(game)) << "the title menu never opened " << game.now();
        put_bytes(copy.data() / "hiscore.dat", int_bytes(5000));
        put_bytes(copy.data() / "anaglyph3d.dat", int_bytes(3));
        xdo("key Escape");
        ASSERT_EQ(game.wait_exit(60s), 0);
        EXPECT_EQ(bytes_of(copy.data() / "hiscore.dat"), int_bytes(5000));
        EXPECT_EQ(bytes_of(copy.data() / "anaglyph3d.dat"), int_bytes(3));
    }
    {
        // A mode is kept as soon as it is chosen: a kill loses nothing.
        game_copy copy("killed");
        background game(copy.with({"SDL_AUDIODRIVER=dummy"}));
        ASSERT_TRUE(to_title(game)) << "the title menu never opened " << game.now();
        // "3D Graphics: " once: Off -> "M\G", written in the frame that chose it.
        ASSERT_TRUE(click_at(game, 320, 275, mode_is(1))) << game.now();
        EXPECT_EQ(bytes_of(copy.data() / "anaglyph3d.dat"), int_bytes(1));
        kill(game.pid(), SIGKILL);
        EXPECT_EQ(game.wait_exit(10s), 128 + SIGKILL);
    }
}
