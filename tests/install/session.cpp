#include "session.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

command_result run(const std::string& command)
{
    command_result r;
    const std::string full = "{ " + command + " ; } 2>&1";
    FILE* p = popen(full.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

std::string shq(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

scratch::scratch(const std::string& name)
{
    dir = fs::temp_directory_path() / ("kv_install_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms(0755));
}

scratch::~scratch()
{
    std::error_code ec;
    fs::remove_all(dir, ec);
}

std::vector<unsigned char> bytes_of(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put_bytes(const fs::path& p, const std::vector<unsigned char>& b)
{
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<unsigned char> int_bytes(int v)
{
    const auto u = static_cast<unsigned>(v);
    return {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8), static_cast<unsigned char>(u >> 16),
            static_cast<unsigned char>(u >> 24)};
}

void own(const fs::path& p, int uid, unsigned mode)
{
    if (::chown(p.c_str(), uid, uid) != 0)
        std::perror("chown");
    fs::permissions(p, fs::perms(mode));
}

std::vector<std::string> as_nobody(std::vector<std::string> argv)
{
    const std::string id = std::to_string(NOBODY);
    argv.insert(argv.begin(), {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"});
    return argv;
}

void copy_sounds(const fs::path& to)
{
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(fs::path(KV_SOURCE_DIR) / "data"))
        if (e.path().extension() == ".ogg")
            fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
}


namespace {

// A file of this process's own under the temporary directory.
fs::path temp_file(const std::string& kind)
{
    static int count = 0;
    return fs::temp_directory_path() /
           ("kv_" + kind + "_" + std::to_string(getpid()) + "_" + std::to_string(++count));
}

using clock_type = std::chrono::steady_clock;

}  // namespace

background::background(launch how)
{
    // Made here and open to all: the program may run as another user.
    log_ = temp_file("state");
    std::ofstream(log_, std::ios::trunc).close();
    fs::permissions(log_, fs::perms(0666));
    how.env.push_back("KELVORA3D_STATE_LOG=" + log_.string());

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string var(*e);
        const std::string name = var.substr(0, var.find('=') + 1);
        bool replaced = false;
        for (const auto& x : how.env)
            replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced)
            env.push_back(var);
    }
    for (const auto& x : how.env) {
        env.push_back(x);
        if (x.rfind("DISPLAY=", 0) == 0)
            display_ = x.substr(8);
    }
    std::vector<char*> argv, envp;
    for (auto& a : how.argv)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (!how.dir.empty())
        posix_spawn_file_actions_addchdir_np(&files, how.dir.c_str());
    if (!how.out.empty())
        posix_spawn_file_actions_addopen(&files, 1, how.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!how.err.empty() && how.err == how.out)
        posix_spawn_file_actions_adddup2(&files, 1, 2);
    else if (!how.err.empty())
        posix_spawn_file_actions_addopen(&files, 2, how.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Signals as a desktop starts a program, whatever the test run ignores
    // or blocks (nohup ignores SIGHUP, which the tests send).
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attr, 0);
    if (how.argv.empty() || posix_spawnp(&pid_, argv[0], &files, &attr, argv.data(), envp.data()) != 0) {
        ADD_FAILURE() << "cannot start " << (how.argv.empty() ? "nothing" : how.argv[0]);
        pid_ = -1;
    }
    group_ = pid_;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
}

background::~background()
{
    // Whatever the program started goes with it.
    if (group_ > 0)
        kill(-group_, SIGKILL);
    if (pid_ > 0)
        waitpid(pid_, nullptr, 0);
    std::error_code ec;
    fs::remove(log_, ec);
}

bool background::running()
{
    if (pid_ <= 0)
        return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        pid_ = -1;
        return false;
    }
    return true;
}

std::string background::wait_window(std::chrono::seconds limit)
{
    const std::string search = (display_.empty() ? "" : "DISPLAY=" + shq(display_) + " ") +
                               "xdotool search --onlyvisible --pid " + std::to_string(group_) +
                               " 2>/dev/null | head -1";
    const auto until = clock_type::now() + limit;
    while (clock_type::now() < until && running()) {
        command_result r = run(search);
        while (!r.out.empty() && (r.out.back() == '\n' || r.out.back() == ' '))
            r.out.pop_back();
        if (!r.out.empty())
            return r.out;
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

int background::wait_exit(std::chrono::seconds limit)
{
    const auto until = clock_type::now() + limit;
    while (running() && clock_type::now() < until)
        std::this_thread::sleep_for(20ms);
    return running() ? -1 : status_;
}

// The next whole line of the log into last_; a line still being written
// waits for its end.
bool background::read_line()
{
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end == std::string::npos) {
            std::ifstream in(log_, std::ios::binary);
            in.seekg(read_);
            const std::string more{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (more.empty())
                return false;
            read_ += static_cast<std::streamoff>(more.size());
            pending_ += more;
            continue;
        }
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        frame_state s;
        if (std::sscanf(line.c_str(), "frame=%ld state=%d score=%d total=%d best=%d mode3d=%d shots=%d", &s.frame,
                        &s.state, &s.score, &s.total, &s.best, &s.mode3d, &s.shots) == 7) {
            last_ = s;
            return true;
        }
        ADD_FAILURE() << "not a state line: " << line;
    }
}

const frame_state& background::now()
{
    while (read_line()) {
    }
    return last_;
}

bool background::wait_for(const frame_test& done, std::chrono::seconds limit)
{
    const auto until = clock_type::now() + limit;
    for (;;) {
        const bool alive = running();  // before reading: the lines of its last frames count
        while (read_line())
            if (done(last_))
                return true;
        if (!alive || clock_type::now() >= until)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

bool background::frames(long count, std::chrono::seconds limit)
{
    const long target = now().frame + count;
    return wait_for([target](const frame_state& s) { return s.frame >= target; }, limit);
}

bool background::input(const std::string& args, const frame_test& done, bool again)
{
    now();  // what the log holds so far came before the input
    for (int tries = 0; tries < 5; ++tries) {
        xdo(args);
        if (!again)
            return wait_for(done);
        // The game handles input every frame: many frames and seconds with
        // no effect mean the input went.
        const long sent = last_.frame;
        const auto retry = clock_type::now() + 5s;
        if (!wait_for([&](const frame_state& s) {
                return done(s) || (s.frame >= sent + 60 && clock_type::now() >= retry);
            }))
            return false;
        if (done(last_))
            return true;
    }
    return false;
}

bool background::to_title(const std::string& key)
{
    // A key before the first frame may go with the loading.
    return wait_for([](const frame_state&) { return true; }) && input("key " + key, in_state(TITLE), true);
}

int background::escape_until_exit()
{
    if (!wait_for([](const frame_state&) { return true; }))
        return wait_exit(10s);
    bool ok = true;
    if (now().state == PLAY)
        ok = input("key Escape", in_state(PAUSE));
    if (ok && last_.state == PAUSE)
        ok = input("key Escape", in_state(TITLE));
    if (ok && last_.state != TITLE)
        ok = to_title("Escape");
    if (!ok)
        return wait_exit(1s);
    xdo("key Escape");
    return wait_exit(60s);
}

command_result run_program(launch how, std::chrono::seconds limit)
{
    const fs::path out = temp_file("out");
    how.out = how.err = out.string();
    command_result r;
    {
        background program(std::move(how));
        r.status = program.wait_exit(limit);
    }
    const auto b = bytes_of(out);
    r.out.assign(b.begin(), b.end());
    std::error_code ec;
    fs::remove(out, ec);
    return r;
}

bool file_reaches(const fs::path& p, std::uintmax_t size, std::chrono::seconds limit)
{
    const auto until = clock_type::now() + limit;
    std::error_code ec;
    while (fs::file_size(p, ec) < size || ec) {
        if (clock_type::now() >= until)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

bool have_display() { return std::getenv("DISPLAY") != nullptr; }

void xdo(const std::string& args)
{
    const command_result r = run("xdotool " + args);
    EXPECT_EQ(r.status, 0) << "xdotool " << args << ": " << r.out;
}

std::ostream& operator<<(std::ostream& out, const frame_state& s)
{
    return out << "(the last frame: " << s.frame << " in state " << s.state << ", shots " << s.shots << ", 3D mode "
               << s.mode3d << ")";
}
