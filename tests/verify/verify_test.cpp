// The verifier of recorded runs: real runs made by the replay tool played
// again in the sandbox, hostile children and hostile answers.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "server/verify/verify.h"

namespace fs = std::filesystem;
using steady = std::chrono::steady_clock;

namespace {

const std::string DATA = std::string(KV_SOURCE_DIR) + "/data";
constexpr const char* ACT = "KV_VERIFY_TEST_CHILD";

std::string self()
{
    return fs::read_symlink("/proc/self/exe").string();
}

// The test program as the sandbox's child, told by ACT how to behave.
run_verdict sandboxed_as(const char* act, const std::string& text, verify_limits limits = {},
                         const std::string& data = DATA)
{
    ::setenv(ACT, act, 1);
    run_verdict v = verify_sandboxed(self(), text, data, limits);
    ::unsetenv(ACT);
    return v;
}

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs a program in its own process group, waits at most `seconds`, and
// kills the group however it went. The exit status, or -1.
int run_program(const std::vector<std::string>& args, int seconds)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    int status = -1;
    const auto deadline = steady::now() + std::chrono::seconds(seconds);
    pid_t done = 0;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && steady::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(-pid, SIGKILL);
    if (done == 0)
        ::waitpid(pid, &status, 0);
    return done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder with the sounds, for the replay tool.
struct work_dir {
    fs::path path = fs::temp_directory_path() / ("kv_verify_" + std::to_string(::getpid()));
    work_dir()
    {
        fs::remove_all(path);
        fs::create_directories(path / "data");
        for (const auto& e : fs::directory_iterator(DATA))
            if (e.path().extension() == ".ogg")
                fs::copy_file(e.path(), path / "data" / e.path().filename());
    }
    ~work_dir() { fs::remove_all(path); }
};

struct made_run {
    std::string recording;
    std::string state;  // the harness's own state dump (--state)
    std::string state_at;
};

// A real run: the replay tool plays the script and writes it as a recording.
made_run make_run(const work_dir& dir, const std::string& script, int frames, int clock, int state_at = 0)
{
    std::ofstream(dir.path / "script.txt") << script;
    std::vector<std::string> args = {KV_REPLAY, "--driver", "record", "--frames", std::to_string(frames),
                                     "--clock", std::to_string(clock), "--script", (dir.path / "script.txt").string(),
                                     "--dir", dir.path.string(), "--recording", (dir.path / "run.txt").string(),
                                     "--state", (dir.path / "state.json").string()};
    if (state_at > 0) {
        args.push_back("--state-at");
        args.push_back(std::to_string(state_at) + ":" + (dir.path / "at.json").string());
    }
    EXPECT_EQ(run_program(args, 300), 0);
    return {read_file(dir.path / "run.txt"), read_file(dir.path / "state.json"), read_file(dir.path / "at.json")};
}

double state_value(const std::string& dump, const std::string& name)
{
    const size_t at = dump.find("\"" + name + "\": ");
    if (at == std::string::npos)
        throw std::runtime_error("no " + name + " in " + dump);
    return std::strtod(dump.c_str() + at + name.size() + 4, nullptr);
}

std::string key_press(int frame, int code)
{
    const std::string f = std::to_string(frame);
    return f + " key down " + std::to_string(code) + "\n" + f + " key up " + std::to_string(code) + "\n";
}

constexpr int SPACE = 32, ESCAPE = 27, FIRE = 162;
// The logo skipped, the title's first row clicked: a game from frame 20.
const std::string START = key_press(2, SPACE) + "20 mouse move 320 245\n20 mouse down 1\n20 mouse up 1\n";

// A recording every check passes, of no game: enough for children that
// never play it.
std::string tiny_recording()
{
    recording_info info;
    info.version = program_version();
    info.frames = 5;
    info.final_state = {{"frame", 5}};
    return make_recording(info, {});
}

// What the sandbox's child finds around it, for ACT=probe.
std::string probe()
{
    std::string r;
    const std::pair<const char*, int> families[] = {
        {"inet", AF_INET}, {"inet6", AF_INET6}, {"netlink", AF_NETLINK}, {"unix", AF_UNIX}};
    for (auto [name, family] : families) {
        const int s = ::socket(family, SOCK_DGRAM, 0);
        r += std::string(name) + "=" + (s >= 0 ? "ok" : std::to_string(errno)) + " ";
        if (s >= 0)
            ::close(s);
    }
    // A network namespace of its own has the loopback interface alone.
    int lines = 0;
    {
        std::ifstream dev("/proc/net/dev");
        for (std::string line; std::getline(dev, line);)
            ++lines;
    }
    r += "interfaces=" + std::to_string(lines - 2) + " ";
    rlimit core{}, cpu{}, files{};
    ::getrlimit(RLIMIT_CORE, &core);
    ::getrlimit(RLIMIT_CPU, &cpu);
    ::getrlimit(RLIMIT_NOFILE, &files);
    r += "core=" + std::to_string(core.rlim_max) + " cpu=" + std::to_string(cpu.rlim_cur) + " nnp=" +
         std::to_string(::prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0)) + " leader=" +
         std::to_string(::getpgrp() == ::getpid()) + " display=" + (std::getenv("DISPLAY") ? "set" : "unset") +
         " audio=" + (std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "") + " fds=";
    DIR* d = ::opendir("/proc/self/fd");
    std::vector<int> fds;
    while (dirent* e = d ? ::readdir(d) : nullptr)
        if (e->d_name[0] != '.' && std::atoi(e->d_name) != ::dirfd(d))
            fds.push_back(std::atoi(e->d_name));
    if (d)
        ::closedir(d);
    std::sort(fds.begin(), fds.end());
    for (int fd : fds)
        r += std::to_string(fd) + ",";
    return r;
}

// Whether this system lets a process have a network namespace of its own.
bool can_unshare_network()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(::unshare(CLONE_NEWNET) == 0 || ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The child's side: the real verifier, or the misbehaviour asked for.
int child_main(int argc, char** argv)
{
    const std::string act = std::getenv(ACT) ? std::getenv(ACT) : "";
    verify_limits limits;
    std::string data, args;
    for (int i = 2; i + 1 < argc; i += 2) {
        args += std::string(" ") + argv[i] + " " + argv[i + 1];
        if (std::string(argv[i]) == "--data")
            data = argv[i + 1];
        else if (std::string(argv[i]) == "--max-frames")
            limits.max_frames = std::atoi(argv[i + 1]);
    }
    run_verdict v;
    if (act.empty()) {
        return verify_one_main(data, limits);
    } else if (act == "spin") {
        volatile unsigned long turns = 0;
        for (;;)
            turns = turns + 1;
    } else if (act == "sleep") {
        for (;;)
            ::pause();
    } else if (act == "garbage") {
        std::printf("this is no verdict\n");
    } else if (act == "flood") {
        const std::string line(1 << 20, 'x');
        std::fwrite(line.data(), 1, line.size(), stdout);
    } else if (act == "crash") {
        std::abort();
    } else if (act == "orphan") {
        // Something left behind that holds standard output open.
        const pid_t left = ::fork();
        if (left == 0)
            for (;;)
                ::pause();
        v.reason = std::to_string(left);
        std::printf("%s\n", verdict_json(v).c_str());
    } else if (act == "probe") {
        v.reason = probe() + args;
        std::printf("%s\n", verdict_json(v).c_str());
    }
    return 0;
}

}  // namespace

TEST(VerifySandbox, ChildRunsWithoutNetworkDisplayOrTheServersFiles)
{
    const int leaked = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC: the sandbox must close it
    verify_limits limits;
    limits.cpu_seconds = 7;
    limits.max_frames = 77;
    const char* display = std::getenv("DISPLAY");
    const std::string had_display = display ? display : "";
    ::setenv("DISPLAY", ":99", 1);
    const run_verdict v = sandboxed_as("probe", tiny_recording(), limits);
    ::close(leaked);
    if (had_display.empty())
        ::unsetenv("DISPLAY");
    else
        ::setenv("DISPLAY", had_display.c_str(), 1);
    ASSERT_FALSE(v.verified);
    const std::string denied = std::to_string(EPERM);
    EXPECT_NE(v.reason.find("inet=" + denied + " inet6=" + denied + " netlink=" + denied + " unix=ok "),
              std::string::npos)
        << v.reason;
    for (const char* want : {"core=0 ", "cpu=7 ", "nnp=1 ", "leader=1 ", "display=unset ", "audio=dummy ",
                             "fds=0,1,2, ",
                             " --data " KV_SOURCE_DIR "/data --max-frames 77"})
        EXPECT_NE(v.reason.find(want), std::string::npos) << want << " in " << v.reason;
    if (can_unshare_network()) {
        EXPECT_NE(v.reason.find("interfaces=1 "), std::string::npos) << v.reason;
    }
}

TEST(VerifySandbox, OverrunsAreKilledWithTheLimitNamed)
{
    verify_limits limits;
    limits.cpu_seconds = 1;
    run_verdict v = sandboxed_as("spin", tiny_recording(), limits);
    EXPECT_FALSE(v.verified);
    EXPECT_EQ(v.reason, "it ran past the worker's limit of 1 second of processor time");

    limits.wall_seconds = 1;
    const auto start = steady::now();
    v = sandboxed_as("sleep", tiny_recording(), limits);
    EXPECT_EQ(v.reason, "it ran past the worker's limit of 1 second");
    EXPECT_LT(steady::now() - start, std::chrono::seconds(10));
}

TEST(VerifySandbox, WhatTheChildLeavesBehindIsKilled)
{
    verify_limits limits;
    limits.wall_seconds = 20;
    const auto start = steady::now();
    const run_verdict v = sandboxed_as("orphan", tiny_recording(), limits);
    EXPECT_LT(steady::now() - start, std::chrono::seconds(5)) << "waited for the orphan holding the pipe";
    const pid_t left = std::atoi(v.reason.c_str());
    ASSERT_GT(left, 0) << v.reason;
    // Gone, or a zombie waiting for whoever adopted it.
    const fs::path stat = "/proc/" + std::to_string(left) + "/stat";
    const auto deadline = steady::now() + std::chrono::seconds(5);
    std::string st;
    while (fs::exists(stat) && (st = read_file(stat)).find(") Z ") == std::string::npos && steady::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(!fs::exists(stat) || read_file(stat).find(") Z ") != std::string::npos) << st;
}

TEST(VerifySandbox, ChildrenThatGiveNoVerdictAreRejected)
{
    const std::pair<const char*, const char*> cases[] = {
        {"garbage", "the verifier gave no usable answer"},
        {"silent", "the verifier gave no usable answer"},
        {"flood", "the verifier gave no usable answer"},
        {"crash", "replaying it crashed the game (SIGABRT)"},
    };
    for (const auto& [act, reason] : cases) {
        const run_verdict v = sandboxed_as(act, tiny_recording());
        EXPECT_FALSE(v.verified) << act;
        EXPECT_EQ(v.reason, reason) << act;
        EXPECT_TRUE(v.scores.empty()) << act;
    }
    // A program that cannot be started is the worker's fault, not the run's.
    const run_verdict v = verify_sandboxed("/nonexistent/kelvora3d-scores", tiny_recording(), DATA, {});
    EXPECT_FALSE(v.verified);
    EXPECT_TRUE(v.worker_fault);
    EXPECT_NE(v.detail.find("starting the program"), std::string::npos) << v.detail;
}

TEST(VerifyVerdict, OnlyASoundAnswerIsRead)
{
    run_verdict v;
    v.verified = true;
    v.scores = {-125000, 0, 2147483647};
    v.frames = 16789;
    v.version = "1.5.0";
    v.system = "Web";
    const run_verdict back = verdict_from_json(verdict_json(v));
    EXPECT_TRUE(back.verified);
    EXPECT_EQ(back.scores, v.scores);
    EXPECT_EQ(back.frames, 16789);
    EXPECT_EQ(back.system, "Web");

    run_verdict no;
    no.reason = std::string("bad \xff\x01 bytes ") + std::string(400, 'x');  // broken UTF-8, too long
    const run_verdict no_back = verdict_from_json(verdict_json(no));
    EXPECT_FALSE(no_back.verified);
    EXPECT_EQ(no_back.reason.substr(0, 4), "bad ");
    EXPECT_EQ(no_back.reason.find('\x01'), std::string::npos);
    EXPECT_EQ(verdict_from_json(R"({"verified":false,"scores":[1]})").reason, "the verifier gave no reason");
    EXPECT_TRUE(verdict_from_json(R"({"verified":false,"scores":[1]})").scores.empty());

    const std::string hostile[] = {
        "", "null", "[]", "{}", R"({"verified":"yes","scores":[]})", R"({"verified":true})",
        R"({"verified":true,"scores":[1.5]})", R"({"verified":true,"scores":[2147483648]})",
        R"({"verified":true,"scores":[-2147483649]})", R"({"verified":true,"scores":[18446744073709551615]})",
        R"({"verified":true,"scores":[[1]]})", R"({"verified":true,"scores":[],"frames":-1})",
        R"({"verified":true,"scores":[],"system":"Li nux"})", R"({"verified":true,"scores":[],"worker_fault":true})",
        R"({"verified":true,"scores":[],"reason":7})", R"({"verified":true,"scores":[]} trailing)",
        "{\"verified\":true,\"scores\":[],\"version\":\"\xff\"}",
        R"({"verified":true,"scores":[)" + std::string(100000, '[') + "]}",
        R"({"verified":true,"scores":[)" + [] {
            std::string many;
            for (int i = 0; i < 20000; ++i)
                many += "1,";
            return many;
        }() + "1]}",
    };
    for (const auto& line : hostile) {
        const run_verdict h = verdict_from_json(line);
        EXPECT_FALSE(h.verified) << line.substr(0, 80);
        EXPECT_EQ(h.reason, "the verifier gave no usable answer") << line.substr(0, 80);
        EXPECT_TRUE(h.scores.empty());
    }
}

TEST(VerifyRealRuns, AShortRunVerifiesAndAnyChangeIsCaught)
{
    work_dir dir;
    std::string script = START;
    for (int f = 40; f < 580; f += 7)
        script += key_press(f, FIRE);
    const made_run run = make_run(dir, script, 600, 4321);
    const recording_info info = check_recording(run.recording);
    EXPECT_EQ(info.frames, 600);
    EXPECT_EQ(info.system, "Linux");
    EXPECT_EQ(info.final_state.at("shots_fired"), state_value(run.state, "shots_fired"));
    ASSERT_GT(info.final_state.at("shots_fired"), 0);

    run_verdict v = sandboxed_as("", run.recording);
    EXPECT_TRUE(v.verified) << v.reason << "\n" << v.detail;
    EXPECT_TRUE(v.scores.empty()) << "no game completed";
    EXPECT_EQ(v.frames, 600);
    EXPECT_EQ(v.version, program_version());

    // In this process too, leaving nothing behind.
    const fs::path scratch = dir.path / "tmp";
    fs::create_directories(scratch);
    ::setenv("TMPDIR", scratch.c_str(), 1);
    const fs::path cwd = fs::current_path();
    v = replay_recording(run.recording, DATA, {});
    ::unsetenv("TMPDIR");
    EXPECT_TRUE(v.verified) << v.reason << "\n" << v.detail;
    EXPECT_EQ(fs::current_path(), cwd);
    EXPECT_TRUE(fs::is_empty(scratch));

    std::string changed = run.recording;
    changed[changed.find("key down 162") + 9] = '3';
    v = sandboxed_as("", changed);
    EXPECT_FALSE(v.verified);
    EXPECT_EQ(v.reason, "this recording cannot be replayed: it is damaged (its check does not match its contents)");

    // A forged ending, with a check that matches it.
    recording_info forged = info;
    forged.final_state["aliens_left"] -= 1;
    std::vector<std::string> lines;
    std::istringstream in(run.recording);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    v = sandboxed_as("", make_recording(forged, lines));
    EXPECT_FALSE(v.verified);
    EXPECT_EQ(v.reason, "the replay ended differently from the recorded run");
    EXPECT_NE(v.detail.find("aliens_left"), std::string::npos) << v.detail;

    // An extra shot, with the ending the real run had.
    lines.insert(lines.end() - 1, {"576 key down 162", "576 key up 162"});
    v = sandboxed_as("", make_recording(info, lines));
    EXPECT_EQ(v.reason, "the replay ended differently from the recorded run");

    verify_limits limits;
    limits.max_frames = 599;
    v = sandboxed_as("", run.recording, limits);
    EXPECT_FALSE(v.verified);
    EXPECT_NE(v.reason.find("this run is 600 frames long"), std::string::npos) << v.reason;

    v = sandboxed_as("", run.recording, {}, (dir.path / "nowhere").string());
    EXPECT_FALSE(v.verified);
    EXPECT_TRUE(v.worker_fault);
}

// A whole game of 250 aliens with steady fire, back to the title and out:
// the table gets exactly the final score the harness saw.
TEST(VerifyRealRuns, AWholeGameScoresWhatTheHarnessSaw)
{
    constexpr int RESULTS = 17400;
    work_dir dir;
    std::string script = START;
    for (int f = 21; f < 16100; f += 6)
        script += key_press(f, FIRE);
    script += key_press(RESULTS + 5, FIRE) + key_press(RESULTS + 10, ESCAPE);
    const made_run run = make_run(dir, script, RESULTS + 100, 97531, RESULTS);
    ASSERT_EQ(state_value(run.state_at, "game_state"), 5) << "the game is over by then";
    ASSERT_EQ(state_value(run.state, "quit_game"), 1);
    const int final_score = static_cast<int>(state_value(run.state_at, "final_score"));

    const auto start = steady::now();
    const run_verdict v = sandboxed_as("", run.recording);
    std::printf("a whole game verified in %.1f s\n", std::chrono::duration<double>(steady::now() - start).count());
    EXPECT_TRUE(v.verified) << v.reason << "\n" << v.detail;
    EXPECT_EQ(v.scores, std::vector<int>{final_score});
    EXPECT_EQ(v.frames, static_cast<int>(state_value(run.state, "frame")));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--verify-one")
        return child_main(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
