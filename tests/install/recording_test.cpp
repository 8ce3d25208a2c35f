// A run recorded from the real program under X replays in the harness to
// the state the run ended in; a damaged recording is refused by both.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "session.h"

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

frame_test shots_reach(int n)
{
    return [n](const frame_state& s) { return s.shots >= n; };
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
        background game({.argv = {(tree / "kelvora3d").string(), "--window=1", "--record", file.string()}});
        const std::string win = game.wait_window();
        ASSERT_FALSE(win.empty());
        ASSERT_TRUE(game.to_title()) << "the title menu never came " << game.now();
        // Start Game: the pointer rests on the row for two frames (the menu
        // takes the row at the start of a frame), then the click.
        xdo("mousemove --window " + win + " 322 247 mousemove --window " + win + " 320 245");
        ASSERT_TRUE(game.frames(2));
        ASSERT_TRUE(game.input("click 1", in_state(PLAY))) << game.now();
        xdo("keydown Left");
        ASSERT_TRUE(game.frames(10));
        xdo("keyup Left keydown Up");
        ASSERT_TRUE(game.frames(8));
        xdo("keyup Up");
        for (int i = 1; i <= 6; ++i)
            ASSERT_TRUE(game.input("key Control_L", shots_reach(i))) << game.now();
        ASSERT_TRUE(game.input("key space", in_state(PAUSE))) << game.now();
        ASSERT_TRUE(game.input("key space", in_state(PLAY))) << game.now();
        for (int i = 7; i <= 14; ++i)
            ASSERT_TRUE(game.input(std::string(i % 2 ? "keydown" : "keyup") + " Right key Control_L", shots_reach(i)))
                << game.now();
        ASSERT_TRUE(game.input("keyup Right key Escape", in_state(PAUSE))) << game.now();
        ASSERT_TRUE(game.input("key Escape", in_state(TITLE))) << game.now();
        xdo("key Escape");  // quit
        ASSERT_EQ(game.wait_exit(60s), 0);
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
    EXPECT_EQ(recorded.at("shots_fired"), 14) << "every shot of the game was recorded";
    EXPECT_EQ(recorded.at("best_sc"), 150);
    EXPECT_EQ(recorded.at("mode3d"), 2);
    EXPECT_NE(text.find(" key down 32\n"), std::string::npos) << "paused with Space";

    // The harness, in a folder holding the values the run started from.
    const fs::path dir = s.dir / "harness";
    copy_sounds(dir / "data");
    put_bytes(dir / "data/hiscore.dat", int_bytes(std::stoi(header(text, "best_score"))));
    put_bytes(dir / "data/anaglyph3d.dat", int_bytes(std::stoi(header(text, "mode3d"))));
    const fs::path state = s.dir / "state.json";
    const auto r = run_program({.argv = {KV_REPLAY, "--driver", "record", "--frames",
                                         std::to_string(static_cast<int>(recorded.at("frame")) + 100), "--script",
                                         file.string(), "--clock", header(text, "clock"), "--dir", dir.string(),
                                         "--state", state.string()}});
    ASSERT_EQ(r.status, 0) << r.out;
    const auto replayed = json_numbers(text_of(state));
    for (const auto& [name, value] : recorded)
        EXPECT_EQ(replayed.count(name) ? replayed.at(name) : -12345.0, value) << name;

    // The real program plays it back too, and ends as the run did.
    const auto back = run_program({.argv = {(tree / "kelvora3d").string(), "--window=1", "--replay", file.string()}});
    EXPECT_EQ(back.status, 0) << back.out;
}

TEST_F(Recording, ADamagedRecordingIsRefusedWithAClearMessage)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    // Escape skips the logo, then quits.
    background game({.argv = {KV_PROGRAM, "--window=1", "--record", file.string()}});
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
        auto r = run_program({.argv = {KV_PROGRAM, "--replay", bad.string()}});
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find("cannot be replayed"), std::string::npos) << r.out;
        r = run_program({.argv = {KV_REPLAY, "--driver", "record", "--frames", "10", "--script", bad.string()}});
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find("cannot be replayed"), std::string::npos) << r.out;
    }
}

TEST_F(Recording, AReplayOfANamedPipeEndsAtOnceWithAClearMessage)
{
    // Opening a pipe waits for a writer, and none will come.
    const fs::path fifo = s.dir / "shared.kvrec";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    const command_result r = run_program({.argv = {KV_PROGRAM, "--replay", fifo.string()}}, 30s);
    EXPECT_EQ(r.status, 2) << "still waiting on the pipe";
    EXPECT_EQ(r.out, "kelvora3d: " + fifo.string() + " is a named pipe, not a recording\n");
}

}  // namespace
