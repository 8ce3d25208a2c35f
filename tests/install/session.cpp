#include "session.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;

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

std::string as_nobody()
{
    return "setpriv --reuid=" + std::to_string(NOBODY) + " --regid=" + std::to_string(NOBODY) + " --clear-groups ";
}

void copy_sounds(const fs::path& to)
{
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(fs::path(KV_SOURCE_DIR) / "data"))
        if (e.path().extension() == ".ogg")
            fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
}

background::background(const std::string& command)
{
    const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        pid_ = -1;
}

background::~background()
{
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
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
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until && running()) {
        command_result r = run("xdotool search --onlyvisible --name '^Kelvora 3D$' 2>/dev/null | head -1");
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
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (!running())
            return status_;
        std::this_thread::sleep_for(50ms);
    }
    return -1;
}

int background::escape_until_exit()
{
    if (wait_window().empty())
        return wait_exit(std::chrono::seconds(1));
    for (int i = 0; i < 60 && running(); ++i) {
        run("xdotool key Escape");
        if (wait_exit(std::chrono::seconds(1)) != -1)
            break;
    }
    return wait_exit(std::chrono::seconds(10));
}

bool have_display() { return std::getenv("DISPLAY") != nullptr; }

void xdo(const std::string& args) { run("xdotool " + args); }
