// Runs sent to a score table: the settings kept beside the saved values,
// the install's secret, the outbox, and the sender against a scripted table.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/online_scores.h"
#include "app/sha256.h"
#include "soon.h"
#include "runtime/utf8_path.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct folder {
    fs::path dir = fs::temp_directory_path() / ("kv_scores_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                                "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    folder() { fs::remove_all(dir); }
    ~folder() { fs::remove_all(dir); }
    std::string path() const { return kelvora::PathUtf8(dir); }  // as the program's paths are
};

std::string text_of(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
std::string text_of(const std::string& utf8) { return text_of(kelvora::Utf8Path(utf8)); }
bool exists(const std::string& utf8) { return fs::exists(kelvora::Utf8Path(utf8)); }

void put(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}
void put(const std::string& utf8, const std::string& text) { put(kelvora::Utf8Path(utf8), text); }

// What a game's run ends with, as the sender reads its final score.
std::string a_run(int score) { return "# Kelvora 3D recording\n1 key down 32\n# frames 9\n# final final_score=" + std::to_string(score) + " game_state=5\n# check 0\n"; }

TEST(ScoreSettings, AreKeptWhenGivenUsedWhenNotAndForgottenWithOff)
{
    const folder f;
    const std::string saves = f.path() + "/saves";
    score_settings s;
    std::string error;
    ASSERT_TRUE(settle_score_settings(saves, "", "", s, error)) << error;
    EXPECT_TRUE(s.server.empty());
    EXPECT_FALSE(exists(saves)) << "with no table nothing is written";

    EXPECT_FALSE(settle_score_settings(saves, "", "Zoë", s, error)) << "a name without a table";
    EXPECT_FALSE(settle_score_settings(saves, "http://h", "", s, error)) << "a table without a name";
    EXPECT_NE(error.find("--name"), std::string::npos) << error;
    EXPECT_FALSE(exists(saves)) << "a refused command line changes nothing";

    ASSERT_TRUE(settle_score_settings(saves, "http://h:8090/t", "Zoë", s, error)) << error;
    EXPECT_EQ(s.server, "http://h:8090/t");
    EXPECT_EQ(text_of(saves + "/" + SCORES_SERVER_FILE), "http://h:8090/t\n");
    EXPECT_FALSE(exists(saves + "/" + SCORES_SECRET_FILE)) << "made when first needed";
    ASSERT_TRUE(settle_score_settings(saves, "", "", s, error)) << error;
    EXPECT_EQ(s.server + " " + s.name, "http://h:8090/t Zoë");
    ASSERT_TRUE(settle_score_settings(saves, "", "Ann", s, error)) << error;
    EXPECT_EQ(s.server + " " + s.name, "http://h:8090/t Ann");

    EXPECT_FALSE(settle_score_settings(saves, "off", "Bo", s, error));
    EXPECT_TRUE(exists(saves + "/" + SCORES_SERVER_FILE)) << "refused, so not forgotten";
    ASSERT_TRUE(settle_score_settings(saves, "off", "", s, error)) << error;
    EXPECT_TRUE(s.server.empty());
    EXPECT_FALSE(exists(saves + "/" + SCORES_SERVER_FILE));
    ASSERT_TRUE(settle_score_settings(saves, "https://other", "", s, error)) << error;
    EXPECT_EQ(s.name, "Ann") << "the name outlives the table";

    // A file changed by hand to something no option would take is not used.
    put(saves + "/" + SCORES_SERVER_FILE, "file:///etc/passwd\n");
    ASSERT_TRUE(settle_score_settings(saves, "", "", s, error)) << error;
    EXPECT_TRUE(s.server.empty());
}

TEST(ScoreSettings, TheSecretIsMadeOncePrivateAndADamagedOneIsSetAside)
{
    const folder f;
    std::string error;
    const std::string secret = install_secret(f.path(), error);
    ASSERT_EQ(secret.size(), 64u) << error;
    EXPECT_EQ(secret.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(install_secret(f.path(), error), secret);
    const fs::path file = f.dir / SCORES_SECRET_FILE;
#ifndef _WIN32
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
#endif
    const folder g;
    EXPECT_NE(install_secret(g.path(), error), secret);

    put(file, "not hex\n");
    const std::string fresh = install_secret(f.path(), error);
    EXPECT_EQ(fresh.size(), 64u);
    EXPECT_NE(fresh, secret);
    fs::path damaged = file;
    damaged += ".damaged";
    EXPECT_EQ(text_of(damaged), "not hex\n");
}

TEST(RunOutbox, KeepsEachRunOnceByItsHashAndMovesRefusedOnesAside)
{
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256_hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    const folder f;
    const run_outbox box(f.path());
    std::string error;
    const std::string path = box.add(a_run(12), error);
    ASSERT_FALSE(path.empty()) << error;
    EXPECT_EQ(path.substr(path.rfind('/') + 1), sha256_hex(a_run(12)) + ".kvrec");
    EXPECT_EQ(text_of(path), a_run(12));
    EXPECT_EQ(box.add(a_run(12), error), path);
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir / SCORES_OUTBOX), fs::directory_iterator()), 1)
        << "one file, nothing left beside it";
    put(f.dir / SCORES_OUTBOX / (sha256_hex("x") + ".kvrec.1-1.tmp"), "half");
    put(f.dir / SCORES_OUTBOX / "notes.txt", "mine");
    fs::create_directories(f.dir / SCORES_OUTBOX / (sha256_hex("y") + ".kvrec"));
    EXPECT_EQ(box.pending(), std::vector<std::string>{path}) << "only runs' files";

    const std::string aside = box.refuse(path);
    EXPECT_EQ(text_of(aside), a_run(12));
    EXPECT_NE(aside.find("/refused/"), std::string::npos) << aside;
    EXPECT_TRUE(box.pending().empty());
}

http_answer answer(int status, const std::string& body, const std::string& error = {})
{
    http_answer a;
    a.status = status;
    a.body = body;
    a.error = error;
    return a;
}

// A score table as the sender meets it: answers given in turn (the last
// repeated), each post noted; a post can be held until it is cancelled.
struct scripted_table {
    struct post {
        std::string url, body;
        std::vector<std::string> headers;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<http_answer> answers;
    std::vector<post> posts;
    bool hold = false, cancelled = false;

    std::vector<post> seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return posts;
    }
    score_sender::poster_maker maker()
    {
        struct poster : http_poster {
            scripted_table* t;
            http_answer post(const std::string& url, const std::vector<std::string>& headers,
                             const std::string& body) override
            {
                std::unique_lock<std::mutex> lock(t->mutex);
                t->posts.push_back({url, body, headers});
                t->changed.wait(lock, [this] { return !t->hold || t->cancelled; });
                if (t->cancelled)
                    return answer(0, "", "stopped");
                return t->answers.at(std::min(t->posts.size(), t->answers.size()) - 1);
            }
            void cancel() override
            {
                std::lock_guard<std::mutex> lock(t->mutex);
                t->cancelled = true;
                t->changed.notify_all();
            }
        };
        return [this](std::string&) {
            auto p = std::make_unique<poster>();
            p->t = this;
            return p;
        };
    }
};

class Sender : public testing::Test {
protected:
    std::unique_ptr<score_sender> start(score_sending_times times = {50ms, 400ms, 2000ms})
    {
        auto sender = std::make_unique<score_sender>(score_settings{"http://table", "Zoë & co", f.path()},
                                                     table.maker(), times, [this](const std::string& line) {
                                                         std::lock_guard<std::mutex> lock(said_mutex);
                                                         said.push_back(line);
                                                     });
        sender->start();  // as the program does once its first frame is shown
        return sender;
    }
    std::vector<std::string> lines()
    {
        std::lock_guard<std::mutex> lock(said_mutex);
        return said;
    }
    const folder f;
    const run_outbox box{f.path()};
    scripted_table table;
    std::mutex said_mutex;
    std::vector<std::string> said;
};

TEST_F(Sender, PostsWhatAnEarlierSessionLeftThenEachNewRunAndSaysSoOnce)
{
    std::string error;
    const std::string left = box.add(a_run(-40), error);
    table.answers = {answer(202, R"({"id":"ab12","status":"queued"})"), answer(200, R"({"id":"cd34","status":"verified"})")};
    auto sender = start();
    ASSERT_TRUE(soon([&] { return lines().size() == 1; }));
    EXPECT_FALSE(exists(left));
    EXPECT_EQ(lines()[0], "sent the game's run (final score -40) to http://table: run ab12, queued for verification");
    const auto first = table.seen().at(0);
    EXPECT_EQ(first.url, "http://table/api/runs?name=Zo%C3%AB%20%26%20co");
    EXPECT_EQ(first.body, a_run(-40));
    EXPECT_EQ(first.headers.at(0), "X-Kelvora-Secret: " + install_secret(f.path(), error));

    sender->queue(a_run(990));
    ASSERT_TRUE(soon([&] { return lines().size() == 2; }));
    EXPECT_EQ(lines()[1], "sent the game's run (final score 990) to http://table: run cd34, verified");
    EXPECT_EQ(table.seen().at(1).body, a_run(990));
    EXPECT_TRUE(box.pending().empty());
}

TEST_F(Sender, ARefusedRunIsMovedAsideWithTheTablesReasonAndNotSentAgain)
{
    table.answers = {answer(422, R"({"status":"rejected","reason":"made by \"another\"\nversion"})"), answer(202, "{}")};
    auto sender = start();
    sender->queue(a_run(5));
    ASSERT_TRUE(soon([&] { return lines().size() == 1; }));
    EXPECT_NE(lines()[0].find("refused the game's run (final score 5): made by \"another\" version (kept in "),
              std::string::npos)
        << lines()[0];
    EXPECT_EQ(text_of(f.dir / SCORES_OUTBOX / "refused" / (sha256_hex(a_run(5)) + ".kvrec")), a_run(5));
    sender->queue(a_run(6));
    ASSERT_TRUE(soon([&] { return lines().size() == 2; }));
    EXPECT_EQ(table.seen().size(), 2u) << "the refused run was not tried again";
}

TEST_F(Sender, RunsTheTableCannotTakeNowAreKeptAndTriedAgainLater)
{
    table.answers = {answer(0, "", "could not connect"), answer(503, ""), answer(429, ""),
                     answer(202, R"({"id":"e","status":"queued"})")};
    auto sender = start();
    sender->queue(a_run(7));
    ASSERT_TRUE(soon([&] { return lines().size() == 2; }));
    EXPECT_EQ(table.seen().size(), 4u);
    EXPECT_NE(lines()[0].find("could not send the game's run (final score 7) to http://table: could not connect; it "
                              "is kept in "),
              std::string::npos)
        << lines()[0] << ": one line for the three failures";
    EXPECT_NE(lines()[1].find("sent the game's run (final score 7)"), std::string::npos) << lines()[1];
    EXPECT_TRUE(box.pending().empty());
}

TEST_F(Sender, AtTheEndAPostUnderWayGetsItsGraceThenStopsAndTheRunsStayForNextTime)
{
    table.hold = true;
    auto sender = start({50ms, 400ms, 300ms});
    sender->queue(a_run(1));
    ASSERT_TRUE(soon([&] { return table.seen().size() == 1; }));
    sender->queue(a_run(2));
    const auto before = std::chrono::steady_clock::now();
    sender.reset();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 1500ms);
    EXPECT_TRUE(table.cancelled);
    EXPECT_EQ(box.pending().size(), 2u) << "the held run and the one queued behind it";
    EXPECT_TRUE(lines().empty()) << lines()[0];
}

TEST_F(Sender, WithoutAnHttpClientTheRunsAreKeptAndThatIsSaidOnce)
{
    score_sender sender(score_settings{"http://table", "Ann", f.path()},
                        [](std::string& error) -> std::unique_ptr<http_poster> {
                            error = "libcurl (libcurl.so.4) is not installed";
                            return nullptr;
                        },
                        {50ms, 400ms, 2000ms}, [this](const std::string& line) {
                            std::lock_guard<std::mutex> lock(said_mutex);
                            said.push_back(line);
                        });
    sender.queue(a_run(3));
    ASSERT_TRUE(soon([&] { return lines().size() == 1; }));
    sender.queue(a_run(4));
    ASSERT_TRUE(soon([&] { return box.pending().size() == 2; }));
    EXPECT_NE(lines()[0].find("no runs can be sent to http://table: libcurl (libcurl.so.4) is not installed; they "
                              "stay in "),
              std::string::npos)
        << lines()[0];
    EXPECT_EQ(lines().size(), 1u);
}

}  // namespace
