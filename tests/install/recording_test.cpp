// A run recorded from the real program under X replays in the harness to
// the state the run ended in; a damaged recording is refused by both.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>
#include <thread>

#include "session.h"

using namespace std::chrono_literals;

namespace {

std::string text_of(const fs::path& p)
{
    const auto b = bytes_of(p);
    return {b.begin(), b.end()};
}

// "# NAME VALUE" or "# final a=1 b=2" lines of a recording.
std::string header(const std::string& text, const std::string& name)
{
    const size_t at = text.find("\n# " + name + " ");
    if (at == std::string::npos)
        return {};
    const size_t start = at + 4 + name.size();
    return text.substr(start, text.find('\n', start) - start);
}

std::map<std::string, double> pairs(const std::string& line)
{
    std::map<std::string, double> m;
    std::istringstream in(line);
    std::string p;
    while (in >> p)
        if (p.find('=') != std::string::npos)
            m[p.substr(0, p.find('='))] = std::stod(p.substr(p.find('=') + 1));
    return m;
}

// The harness's state dump: "  \"name\": value," lines.
std::map<std::string, double> json_numbers(const std::string& text)
{
    std::map<std::string, double> m;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t q1 = line.find('"'), q2 = line.find('"', q1 + 1), colon = line.find(':');
        if (q1 != std::string::npos && q2 != std::string::npos && colon != std::string::npos)
            m[line.substr(q1 + 1, q2 - q1 - 1)] = std::stod(line.substr(colon + 1));
    }
    return m;
}

// The pointer sits where the title menu puts it, (320, 250) of the picture.
bool title_is_up(const std::string& win)
{
    const std::string geo = run("xdotool getwindowgeometry --shell " + win).out;
    const std::string loc = run("xdotool getmouselocation --shell").out;
    int wx = 0, wy = 0, w = 640, h = 480, px = -1, py = -1;
    std::sscanf(geo.substr(geo.find("X=")).c_str(), "X=%d", &wx);
    std::sscanf(geo.substr(geo.find("Y=")).c_str(), "Y=%d", &wy);
    std::sscanf(geo.substr(geo.find("WIDTH=")).c_str(), "WIDTH=%d", &w);
    std::sscanf(geo.substr(geo.find("HEIGHT=")).c_str(), "HEIGHT=%d", &h);
    std::sscanf(loc.c_str(), "X=%d\nY=%d", &px, &py);
    const double scale = std::min(w / 640.0, h / 480.0);
    const int ex = wx + static_cast<int>((w - 640 * scale) / 2 + 320 * scale);
    const int ey = wy + static_cast<int>((h - 480 * scale) / 2 + 250 * scale);
    return std::abs(px - ex) <= scale + 1 && std::abs(py - ey) <= scale + 1;
}

class Recording : public testing::Test {
protected:
    // Plays a short game in the real program: start, steer, fire, pause,
    // resume, play on, leave and quit, recorded to `file`.
    void record_a_game()
    {
        tree = s.dir / "game";
        copy_sounds(tree / "data");
        fs::copy_file(KV_PROGRAM, tree / "kelvora3d");
        put_bytes(tree / "data/hiscore.dat", int_bytes(150));
        put_bytes(tree / "data/anaglyph3d.dat", int_bytes(2));
        background game(shq((tree / "kelvora3d").string()) + " --window=1 --record " + shq(file.string()));
        const std::string win = game.wait_window();
        ASSERT_FALSE(win.empty());
        xdo("mousemove 1 1");
        bool title = false;
        for (int i = 0; i < 60 && !title; ++i) {
            xdo("key space");  // skips the logo
            std::this_thread::sleep_for(400ms);
            title = title_is_up(win);
        }
        ASSERT_TRUE(title) << "the title menu never came";
        xdo("mousemove --window " + win + " 322 247");
        std::this_thread::sleep_for(200ms);
        xdo("mousemove --window " + win + " 320 245 click 1");  // Start Game
        std::this_thread::sleep_for(600ms);
        xdo("keydown Left");
        std::this_thread::sleep_for(400ms);
        xdo("keyup Left keydown Up");
        std::this_thread::sleep_for(300ms);
        xdo("keyup Up");
        for (int i = 0; i < 6; ++i) {
            xdo("key Control_L");
            std::this_thread::sleep_for(150ms);
        }
        xdo("key space");  // pause
        std::this_thread::sleep_for(600ms);
        xdo("key space");  // resume
        for (int i = 0; i < 8; ++i) {
            xdo(i % 2 ? "keydown Right" : "keyup Right");
            xdo("key Control_L");
            std::this_thread::sleep_for(250ms);
        }
        xdo("keyup Right key Escape");  // pause
        std::this_thread::sleep_for(400ms);
        xdo("key Escape");  // to the title
        std::this_thread::sleep_for(400ms);
        xdo("key Escape");  // quit
        ASSERT_EQ(game.wait_exit(std::chrono::seconds(30)), 0);
    }

    scratch s{"recording"};
    fs::path tree;
    fs::path file = s.dir / "run.kvrec";
};

TEST_F(Recording, ARecordedRunReplaysInTheHarnessToTheSameFinalState)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    ASSERT_NO_FATAL_FAILURE(record_a_game());
    const std::string text = text_of(file);
    const auto recorded = pairs(header(text, "final"));
    ASSERT_GT(recorded.size(), 20u) << text;
    EXPECT_GT(recorded.at("shots_fired"), 0) << "the game was played";
    EXPECT_EQ(recorded.at("best_sc"), 150);
    EXPECT_EQ(recorded.at("mode3d"), 2);
    EXPECT_NE(text.find(" key down 32\n"), std::string::npos) << "paused with Space";

    // The harness, in a folder holding the values the run started from.
    const fs::path dir = s.dir / "harness";
    copy_sounds(dir / "data");
    put_bytes(dir / "data/hiscore.dat", int_bytes(std::stoi(header(text, "best_score"))));
    put_bytes(dir / "data/anaglyph3d.dat", int_bytes(std::stoi(header(text, "mode3d"))));
    const fs::path state = s.dir / "state.json";
    const auto r = run(shq(KV_REPLAY) + " --driver record --frames " +
                       std::to_string(static_cast<int>(recorded.at("frame")) + 100) + " --script " +
                       shq(file.string()) + " --clock " + header(text, "clock") + " --dir " + shq(dir.string()) +
                       " --state " + shq(state.string()));
    ASSERT_EQ(r.status, 0) << r.out;
    const auto replayed = json_numbers(text_of(state));
    for (const auto& [name, value] : recorded)
        EXPECT_EQ(replayed.count(name) ? replayed.at(name) : -12345.0, value) << name;

    // The real program plays it back too, and ends as the run did.
    const auto back = run(shq((tree / "kelvora3d").string()) + " --window=1 --replay " + shq(file.string()));
    EXPECT_EQ(back.status, 0) << back.out;
}

TEST_F(Recording, ADamagedRecordingIsRefusedWithAClearMessage)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    // Escape skips the logo, then quits.
    background game(shq(KV_PROGRAM) + " --window=1 --record " + shq(file.string()));
    ASSERT_EQ(game.escape_until_exit(), 0);
    std::string text = text_of(file);
    const size_t escape = text.find(" key down 27\n");
    ASSERT_NE(escape, std::string::npos) << text;
    text[escape + 11] = '8';  // Escape becomes another key
    const fs::path damaged = s.dir / "damaged.kvrec";
    put_bytes(damaged, {text.begin(), text.end()});
    const fs::path cut = s.dir / "cut.kvrec";
    put_bytes(cut, {text.begin(), text.begin() + static_cast<long>(text.size() / 2)});

    for (const fs::path& bad : {damaged, cut}) {
        auto r = run(shq(KV_PROGRAM) + " --replay " + shq(bad.string()));
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find("cannot be replayed"), std::string::npos) << r.out;
        r = run(shq(KV_REPLAY) + " --driver record --frames 10 --script " + shq(bad.string()));
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find("cannot be replayed"), std::string::npos) << r.out;
    }
}

TEST_F(Recording, AReplayOfANamedPipeEndsAtOnceWithAClearMessage)
{
    // Opening a pipe waits for a writer, and none will come.
    const fs::path fifo = s.dir / "shared.kvrec";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // timeout runs it in a process group of its own and kills the group.
    const command_result r = run("timeout -s KILL 30 " + shq(KV_PROGRAM) + " --replay " + shq(fifo.string()));
    EXPECT_EQ(r.status, 2) << "still waiting on the pipe";
    EXPECT_EQ(r.out, "kelvora3d: " + fifo.string() + " is a named pipe, not a recording\n");
}

}  // namespace
