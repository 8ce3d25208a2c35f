// The real program under X, driven like a player with xdotool through XTEST
// (SDL ignores events sent to a window directly). Needs DISPLAY
// (scripts/with-xvfb.sh gives a private server); skipped without one.
#include <gtest/gtest.h>
// After gtest: the X11 headers' macros clash with its names.
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string run_output(const std::string& cmd)
{
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

std::vector<unsigned char> bytes_of(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program copied into a fresh directory with its data, run from there.
class Program {
public:
    explicit Program(const std::string& name)
    {
        dir = fs::temp_directory_path() / ("kv_e2e_" + name + "_" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "data");
        const fs::path sounds = fs::path(KV_SOURCE_DIR) / "data";
        if (fs::exists(sounds))
            for (const auto& e : fs::directory_iterator(sounds))
                if (e.path().extension() == ".ogg")
                    fs::copy_file(e.path(), dir / "data" / e.path().filename());
        fs::copy_file(KV_PROGRAM, dir / "kelvora3d");
    }
    ~Program()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    void start(const std::vector<std::string>& env_extra)
    {
        // The extra settings replace inherited ones of the same name (the
        // test run itself may set SDL_AUDIODRIVER): with a name given twice
        // the program would see the first.
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string var(*e);
            const std::string name = var.substr(0, var.find('=') + 1);
            bool replaced = false;
            for (const auto& x : env_extra)
                replaced = replaced || x.compare(0, name.size(), name) == 0;
            if (!replaced)
                env.push_back(var);
        }
        env.insert(env.end(), env_extra.begin(), env_extra.end());
        std::vector<char*> envp;
        for (auto& s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        const std::string prog = (dir / "kelvora3d").string();
        char* argv[] = {const_cast<char*>(prog.c_str()), nullptr};
        ASSERT_EQ(posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    }

    // The game window's id, once it is mapped; empty after the timeout.
    std::string wait_window()
    {
        for (int i = 0; i < 300; ++i) {
            const std::string id = run_output("xdotool search --onlyvisible --name '^Kelvora 3D$' 2>/dev/null | head -1");
            if (!id.empty())
                return id;
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

    // Exit status, or -1 when it did not end in time.
    int wait_exit(std::chrono::seconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }

    fs::path dir;
    pid_t pid = -1;
};

void xdo(const std::string& args)
{
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

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

// The same, allowing a slow machine a few seconds to get there.
bool pointer_reaches(int x, int y)
{
    for (int i = 0; i < 60; ++i) {
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

// Skips the logo with Space once it is showing: keys pressed while the game
// still loads are flushed, so Space is repeated until the title menu has
// taken the pointer. False when the menu never came.
bool skip_logo_to_title()
{
    park_pointer();
    for (int i = 0; i < 60; ++i) {
        xdo("key space");
        std::this_thread::sleep_for(500ms);
        if (pointer_at(320, 250))
            return true;
    }
    return false;
}

// The pointer arrives in two steps so the game sees it move onto the row,
// and the button is held over a few frames as a hand would.
void click_at(const std::string&, int x, int y)
{
    const auto [sx, sy] = screen_point(x, y);
    xdo("mousemove --sync " + std::to_string(sx + 1) + " " + std::to_string(sy + 1));
    std::this_thread::sleep_for(200ms);
    xdo("mousemove --sync " + std::to_string(sx) + " " + std::to_string(sy));
    std::this_thread::sleep_for(200ms);
    xdo("mousedown 1");
    std::this_thread::sleep_for(150ms);
    xdo("mouseup 1");
    std::this_thread::sleep_for(300ms);
}

void key(const std::string&, const std::string& name, std::chrono::milliseconds after = 400ms)
{
    xdo("key " + name);
    std::this_thread::sleep_for(after);
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
    Program game("menu");
    game.start({"SDL_AUDIODRIVER=dummy"});
    const std::string win = game.wait_window();
    ASSERT_FALSE(win.empty()) << "no game window appeared";
    std::this_thread::sleep_for(1s);
    // Full screen: the window covers the whole display.
    const std::string geo = run_output("xdotool getwindowgeometry --shell " + win);
    const std::string disp = run_output("xdotool getdisplaygeometry");
    int dw = 0, dh = 0;
    std::sscanf(disp.c_str(), "%d %d", &dw, &dh);
    EXPECT_NE(geo.find("WIDTH=" + std::to_string(dw)), std::string::npos) << geo;
    EXPECT_NE(geo.find("HEIGHT=" + std::to_string(dh)), std::string::npos) << geo;

    ASSERT_TRUE(skip_logo_to_title()) << "the title menu never opened";
    click_at(win, 320, 275);    // "3D Graphics: " once: Off -> "M\G"
    key(win, "Escape");
    ASSERT_EQ(game.wait_exit(std::chrono::seconds(30)), 0);
    EXPECT_EQ(bytes_of(game.dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0, 0, 0, 0}));
    EXPECT_EQ(bytes_of(game.dir / "data" / "anaglyph3d.dat"), (std::vector<unsigned char>{1, 0, 0, 0}))
        << "the click reached the menu";
}

TEST(EndToEnd, PlaysPausesResumesAndLeavesWithSound)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    Program game("play");
    {
        std::ofstream out(game.dir / "data" / "hiscore.dat", std::ios::binary);
        out.write("\xE1\x10\x00\x00", 4);  // 4321
    }
    const fs::path audio = game.dir / "audio.raw";
    game.start({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + audio.string(), "SDL_DISKAUDIODELAY=5"});
    const std::string win = game.wait_window();
    ASSERT_FALSE(win.empty()) << "no game window appeared";
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(skip_logo_to_title()) << "the title menu never opened";
    click_at(win, 320, 245);  // "Start Game"
    std::this_thread::sleep_for(500ms);
    for (int i = 0; i < 4; ++i)
        key(win, "Control_L", 250ms);
    park_pointer();
    key(win, "space");  // pause
    EXPECT_TRUE(pointer_reaches(320, 250)) << "Space did not open the pause menu";
    key(win, "space");   // resume
    key(win, "Escape");  // pause again
    key(win, "Escape");  // leave the game for the title
    key(win, "Escape");  // quit
    ASSERT_EQ(game.wait_exit(std::chrono::seconds(30)), 0);
    EXPECT_EQ(bytes_of(game.dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0xE1, 0x10, 0, 0}));
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

}  // namespace

// The game waits, drawing nothing, while another window has the focus; a
// close or a quit then (the desktop session ending) must still end it in
// order, with both files written, and not only once the focus comes back.
TEST(EndToEnd, CloseOrQuitWhileAnotherWindowHasTheFocusEndsTheGame)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    for (const bool by_signal : {false, true}) {
        Program game(by_signal ? "suspended_quit" : "suspended_close");
        game.start({"SDL_AUDIODRIVER=dummy"});
        const std::string win = game.wait_window();
        ASSERT_FALSE(win.empty()) << "no game window appeared";
        std::this_thread::sleep_for(1s);
        ASSERT_TRUE(skip_logo_to_title()) << "the title menu never opened";
        OtherWindow other;
        ASSERT_TRUE(other.display);
        xdo("windowfocus --sync " + other.id());
        std::this_thread::sleep_for(1s);  // the game sees the focus go and waits
        if (by_signal)
            kill(game.pid, SIGTERM);
        else
            other.close(win);
        ASSERT_EQ(game.wait_exit(std::chrono::seconds(30)), 0) << (by_signal ? "SIGTERM" : "window close");
        EXPECT_EQ(bytes_of(game.dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0, 0, 0, 0}));
        EXPECT_EQ(bytes_of(game.dir / "data" / "anaglyph3d.dat"), (std::vector<unsigned char>{0, 0, 0, 0}));
    }
}

namespace {

// The file holds these bytes within a few seconds.
bool file_becomes(const fs::path& p, const std::vector<unsigned char>& want)
{
    for (int i = 0; i < 200; ++i) {
        if (bytes_of(p) == want)
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

}  // namespace

// The values outlive a closed terminal and a killed process, and two copies
// of the game sharing the files do not undo each other's records.
TEST(EndToEnd, ValuesSurviveAHangUpAKillAndAnotherCopy)
{
    if (needs_display())
        GTEST_SKIP() << "no DISPLAY";
    const std::vector<unsigned char> zero{0, 0, 0, 0};
    {
        // A first run ended by a hang-up leaves both files, as a normal end.
        Program game("hangup");
        game.start({"SDL_AUDIODRIVER=dummy"});
        ASSERT_FALSE(game.wait_window().empty()) << "no game window appeared";
        ASSERT_TRUE(skip_logo_to_title()) << "the title menu never opened";
        kill(game.pid, SIGHUP);
        ASSERT_EQ(game.wait_exit(std::chrono::seconds(30)), 0) << "SIGHUP";
        EXPECT_EQ(bytes_of(game.dir / "data" / "hiscore.dat"), zero);
        EXPECT_EQ(bytes_of(game.dir / "data" / "anaglyph3d.dat"), zero);
    }
    {
        // Loaded 1234 and Off; another copy then keeps 5000 and R\C.
        Program game("copies");
        std::ofstream(game.dir / "data" / "hiscore.dat", std::ios::binary).write("\xD2\x04\x00\x00", 4);
        game.start({"SDL_AUDIODRIVER=dummy"});
        const std::string win = game.wait_window();
        ASSERT_FALSE(win.empty()) << "no game window appeared";
        ASSERT_TRUE(skip_logo_to_title()) << "the title menu never opened";
        std::ofstream(game.dir / "data" / "hiscore.dat", std::ios::binary).write("\x88\x13\x00\x00", 4);
        std::ofstream(game.dir / "data" / "anaglyph3d.dat", std::ios::binary).write("\x03\x00\x00\x00", 4);
        key(win, "Escape");
        ASSERT_EQ(game.wait_exit(std::chrono::seconds(30)), 0);
        EXPECT_EQ(bytes_of(game.dir / "data" / "hiscore.dat"), (std::vector<unsigned char>{0x88, 0x13, 0, 0}));
        EXPECT_EQ(bytes_of(game.dir / "data" / "anaglyph3d.dat"), (std::vector<unsigned char>{3, 0, 0, 0}));
    }
    {
        // A mode is kept as soon as it is chosen: a kill loses nothing.
        Program game("killed");
        game.start({"SDL_AUDIODRIVER=dummy"});
        const std::string win = game.wait_window();
        ASSERT_FALSE(win.empty()) << "no game window appeared";
        ASSERT_TRUE(skip_logo_to_title()) << "the title menu never opened";
        click_at(win, 320, 275);  // "3D Graphics: " once: Off -> "M\G"
        EXPECT_TRUE(file_becomes(game.dir / "data" / "anaglyph3d.dat", {1, 0, 0, 0}));
        kill(game.pid, SIGKILL);
        EXPECT_EQ(game.wait_exit(std::chrono::seconds(10)), 128 + SIGKILL);
    }
}
