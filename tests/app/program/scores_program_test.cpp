// The real program with a score table on this machine (a stub that takes
// every run, in a process group of its own): nothing is kept or sent without
// a table; a table and a name given are kept; a run the table cannot take
// stays in the outbox, and goes at the next start once the table is there.
// Each program ends by SIGTERM, as a desktop session ends it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "app/sha256.h"
#include "../soon.h"
#include "session.h"

namespace {

std::string text_of(const fs::path& p)
{
    const auto b = bytes_of(p);
    return {b.begin(), b.end()};
}

// A port nothing listens on: the system's pick, closed again.
int closed_port()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        ADD_FAILURE() << "no port";
    close(fd);
    return ntohs(a.sin_port);
}

class ScoresProgram : public testing::Test {
protected:
    void SetUp() override
    {
        copy_sounds(saves);
        fs::copy_file(KV_PROGRAM, tree / "kelvora3d");
    }

    // The program from the tree, its stderr in err; `until` is waited for
    // once the first frame is drawn, then the program is sent SIGTERM.
    // Its exit status.
    int play(std::vector<std::string> args, const std::function<bool()>& until = [] { return true; })
    {
        args.insert(args.begin(), {(tree / "kelvora3d").string(), "--window=1"});
        background game({.argv = args, .err = err.string()});
        EXPECT_TRUE(game.wait_for([](const frame_state&) { return true; })) << text_of(err);
        EXPECT_TRUE(soon(until, 60s)) << text_of(err);
        kill(game.pid(), SIGTERM);
        return game.wait_exit(20s);
    }

    std::vector<std::string> kept_for_scores()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(saves))
            if (e.path().filename().string().rfind("scores-", 0) == 0)
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    scratch s{"scores"};
    fs::path tree = s.dir / "game", saves = tree / "data", outbox = saves / "scores-outbox";
    fs::path err = s.dir / "stderr.txt";
};

TEST_F(ScoresProgram, ARunKeptWhileTheTableIsDownIsSentAtTheNextStart)
{
    if (!have_display())
        GTEST_SKIP() << "no DISPLAY";
    ASSERT_EQ(play({}), 0) << text_of(err);
    EXPECT_TRUE(kept_for_scores().empty()) << "no table: nothing kept";

    // A table and a name: kept; the session recorded once, for --record too.
    const std::string down = "http://127.0.0.1:" + std::to_string(closed_port());
    const fs::path recording = s.dir / "run.kvrec";
    ASSERT_EQ(play({"--scores", down, "--name", " Zoë X", "--record", recording.string()}), 0) << text_of(err);
    EXPECT_EQ(kept_for_scores(), (std::vector<std::string>{"scores-name.txt", "scores-server.txt"}))
        << "no game ended: nothing to send, no secret needed yet";
    EXPECT_EQ(text_of(saves / "scores-server.txt"), down + "\n");
    EXPECT_EQ(text_of(saves / "scores-name.txt"), "Zoë X\n");
    const auto replayed = run_program({.argv = {(tree / "kelvora3d").string(), "--window=1", "--replay",
                                                recording.string()}});
    EXPECT_EQ(replayed.status, 0) << "a session recorded for the table replays as recorded: " << replayed.out;

    // That recording as a run left in the outbox; the table is down.
    const std::string run = text_of(recording);
    const std::string id = sha256_hex(run);
    const fs::path left = outbox / (id + ".kvrec");
    fs::create_directories(outbox);
    fs::copy_file(recording, left);
    const auto said = [&](const std::string& what) {
        return [&, what] { return text_of(err).find(what) != std::string::npos; };
    };
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(play({}, said("could not send")), 0) << text_of(err);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 15s) << "a table that is down holds nothing up";
    EXPECT_EQ(text_of(left), run) << "kept for later";
    const fs::path secret_file = saves / "scores-secret.txt";
    const std::string secret = text_of(secret_file).substr(0, 64);
    EXPECT_EQ(text_of(secret_file), secret + "\n");
    EXPECT_EQ(fs::status(secret_file).permissions() & fs::perms::all, fs::perms(0600));

    // The table comes up: the run goes at the next start.
    const fs::path posts = s.dir / "posts";
    fs::create_directories(posts);
    background table({.argv = {"python3", KV_STUB, posts.string()}});
    ASSERT_TRUE(soon([&] { return fs::exists(posts / "port"); }, 60s));
    const std::string up = "http://127.0.0.1:" + text_of(posts / "port");
    const std::string line = "kelvora3d: sent the game's run (final score 0) to " + up + ": run " + id +
                             ", queued for verification\n";
    ASSERT_EQ(play({"--scores", up}, said(line)), 0) << text_of(err);
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(text_of(posts / "1.body"), run);
    const std::string head = text_of(posts / "1.head");
    EXPECT_EQ(head.rfind("POST /api/runs?name=Zo%C3%AB%20X\n", 0), 0u) << head;
    EXPECT_NE(head.find("X-Kelvora-Secret: " + secret + "\n"), std::string::npos) << head;
    EXPECT_FALSE(fs::exists(posts / "2.body")) << "sent once";
    EXPECT_EQ(text_of(saves / "scores-server.txt"), up + "\n");
}

}  // namespace
