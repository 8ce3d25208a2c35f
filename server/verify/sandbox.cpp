// Replaying a run in a child process that can do little harm: limits on its
// processor time, memory, files and wall time, no network, nothing of the
// server's open files, and killed with the server.
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "server/verify/verify.h"

extern char** environ;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KV_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KV_SANITIZED 1
#endif
#endif

namespace {

using steady = std::chrono::steady_clock;

// The child's answer is one short line; its complaints are kept for the log.
constexpr size_t MAX_ANSWER_BYTES = size_t(256) << 10;
constexpr size_t MAX_LOG_BYTES = 4096;
// Files the child may open, and the size of a file it may write (the saved
// values are 4 bytes each).
constexpr rlim_t CHILD_FILES = 256;
constexpr rlim_t CHILD_FILE_BYTES = rlim_t(1) << 20;

struct fd_guard {
    int fd = -1;
    fd_guard() = default;
    explicit fd_guard(int f) : fd(f) {}
    fd_guard(const fd_guard&) = delete;
    fd_guard& operator=(const fd_guard&) = delete;
    ~fd_guard() { reset(); }
    void reset(int f = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = f;
    }
};

// The filter the child runs under: socket() and socketpair() fail with
// EPERM for every family but AF_UNIX, and so does io_uring, which could make
// sockets past them. Built once, with libseccomp, in the parent: the child
// between fork and exec only hands it to the kernel.
struct network_filter {
    std::vector<sock_filter> code;
    std::string error;
};

network_filter build_network_filter()
{
    network_filter f;
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ALLOW);
    if (!ctx) {
        f.error = "seccomp_init failed";
        return f;
    }
    int rc = 0;
    for (int call : {SCMP_SYS(socket), SCMP_SYS(socketpair)})
        if (rc == 0)
            rc = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EPERM), call, 1, SCMP_A0(SCMP_CMP_NE, AF_UNIX));
    for (int call : {SCMP_SYS(io_uring_setup), SCMP_SYS(io_uring_enter), SCMP_SYS(io_uring_register)})
        if (rc == 0)
            rc = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EPERM), call, 0);
    fd_guard mem(static_cast<int>(::syscall(SYS_memfd_create, "kv-verify-filter", MFD_CLOEXEC)));
    if (rc == 0 && mem.fd < 0)
        rc = -errno;
    if (rc == 0)
        rc = seccomp_export_bpf(ctx, mem.fd);
    seccomp_release(ctx);
    if (rc != 0) {
        f.error = std::string("cannot build the network filter: ") + std::strerror(-rc);
        return f;
    }
    const off_t size = ::lseek(mem.fd, 0, SEEK_END);
    if (size <= 0 || size % static_cast<off_t>(sizeof(sock_filter)) != 0 || size > (1 << 16) ||
        ::lseek(mem.fd, 0, SEEK_SET) != 0) {
        f.error = "the network filter came out damaged";
        return f;
    }
    f.code.resize(static_cast<size_t>(size) / sizeof(sock_filter));
    if (::read(mem.fd, f.code.data(), static_cast<size_t>(size)) != size) {
        f.code.clear();
        f.error = "cannot read the network filter back";
    }
    return f;
}

const network_filter& the_network_filter()
{
    static const network_filter filter = build_network_filter();
    return filter;
}

// What the child needs between fork and exec, made beforehand: nothing
// there allocates or takes a lock another thread may hold.
struct child_plan {
    pid_t parent = 0;
    int in = -1, out = -1, err = -1, status = -1;
    const char* program = nullptr;
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    sock_fprog filter{};
    rlim_t cpu_seconds = 0;
    rlim_t memory_bytes = 0;  // 0: no address-space limit
};

// Why the child could not become the verifier: the step and errno, on the
// status pipe (closed unread by a successful exec).
enum child_step : int { STEP_FDS = 1, STEP_LIMITS, STEP_NO_NEW_PRIVS, STEP_FILTER, STEP_EXEC };

[[noreturn]] void child_fail(int step)
{
    const int msg[2] = {step, errno};
    [[maybe_unused]] const ssize_t n = ::write(3, msg, sizeof msg);
    ::_exit(127);
}

bool set_limit(int what, rlim_t soft, rlim_t hard)
{
    const rlimit r{soft, hard};
    return ::setrlimit(what, &r) == 0;
}

// Between fork and exec: system calls only.
[[noreturn]] void become_verifier(const child_plan& p)
{
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != p.parent)
        ::_exit(127);  // the server is gone already
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &dfl, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    // Standard input, output and error, and the status pipe as 3; every
    // other descriptor of the server closed. Copied high first, so that
    // none is overwritten before it is moved.
    const int in = ::fcntl(p.in, F_DUPFD, 10), out = ::fcntl(p.out, F_DUPFD, 10),
              err = ::fcntl(p.err, F_DUPFD, 10), status = ::fcntl(p.status, F_DUPFD, 10);
    if (status < 0 || ::dup2(status, 3) != 3 || ::fcntl(3, F_SETFD, FD_CLOEXEC) != 0)
        ::_exit(127);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) != 0 || ::dup2(out, 1) != 1 || ::dup2(err, 2) != 2)
        child_fail(STEP_FDS);
    if (::syscall(SYS_close_range, 4u, ~0u, 0u) != 0) {
        rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files);
        const rlim_t last = files.rlim_cur == RLIM_INFINITY || files.rlim_cur > 65536 ? 65536 : files.rlim_cur;
        for (rlim_t fd = 4; fd < last; ++fd)
            ::close(static_cast<int>(fd));
    }

    // No network: a namespace of its own where one can be made (as root, or
    // in a namespace of its own user); the filter below holds in any case.
    if (::unshare(CLONE_NEWNET) != 0)
        ::unshare(CLONE_NEWUSER | CLONE_NEWNET);

    // The soft CPU limit sends SIGXCPU, the hard one a second later SIGKILL.
    if (!set_limit(RLIMIT_CPU, p.cpu_seconds, p.cpu_seconds + 1) || !set_limit(RLIMIT_CORE, 0, 0) ||
        !set_limit(RLIMIT_NOFILE, CHILD_FILES, CHILD_FILES) ||
        !set_limit(RLIMIT_FSIZE, CHILD_FILE_BYTES, CHILD_FILE_BYTES) ||
        (p.memory_bytes != 0 && !set_limit(RLIMIT_AS, p.memory_bytes, p.memory_bytes)))
        child_fail(STEP_LIMITS);
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        child_fail(STEP_NO_NEW_PRIVS);
    if (::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &p.filter, 0, 0) != 0)
        child_fail(STEP_FILTER);
    ::execve(p.program, p.argv, p.envp);
    child_fail(STEP_EXEC);
}

const char* step_name(int step)
{
    switch (step) {
    case STEP_FDS: return "setting up its standard files";
    case STEP_LIMITS: return "setting its limits";
    case STEP_NO_NEW_PRIVS: return "dropping privileges";
    case STEP_FILTER: return "installing the network filter";
    case STEP_EXEC: return "starting the program";
    default: return "an unknown step";
    }
}

// The server's environment without a display (the replay needs none, and
// must not reach one) and with the silent sound driver.
std::vector<std::string> child_environment()
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "SDL_AUDIODRIVER")
            env.push_back(var);
    }
    env.emplace_back("SDL_AUDIODRIVER=dummy");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> p;
    for (auto& s : strings)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

std::string seconds_text(int n)
{
    return std::to_string(n) + (n == 1 ? " second" : " seconds");
}

std::string signal_name(int sig)
{
    const char* abbrev = sigabbrev_np(sig);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(sig);
}

run_verdict worker_failure(const std::string& detail)
{
    run_verdict v;
    v.reason = "the server could not replay it";
    v.worker_fault = true;
    v.detail = detail;
    return v;
}

// The tail of the child's standard error, kept within MAX_LOG_BYTES (and
// within the room reserved for it).
void keep_log(std::string& log, const char* data, size_t n)
{
    log.append(data, n);
    if (log.size() > MAX_LOG_BYTES)
        log.erase(0, log.size() - MAX_LOG_BYTES);
}

bool child_exited(pid_t pid)
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

run_verdict sandboxed(const std::string& program, const std::string& text, const std::string& data_dir,
                      const verify_limits& limits)
{
    // What can be told without playing is told without a child.
    recording_info info;
    const std::string refused = precheck_recording(text, limits, &info);
    run_verdict checked;
    checked.version = info.version;
    checked.system = info.system;
    checked.frames = info.frames;
    if (!refused.empty()) {
        checked.reason = refused;
        return checked;
    }
    const auto with_run = [&checked](run_verdict v) {
        v.version = checked.version;
        v.system = checked.system;
        v.frames = checked.frames;
        return v;
    };
    const network_filter& filter = the_network_filter();
    if (filter.code.empty())
        return with_run(worker_failure(filter.error));

    // The recording in memory, read from the start as standard input: no
    // pipe to keep fed, nothing to block on.
    fd_guard in(static_cast<int>(::syscall(SYS_memfd_create, "kv-verify-run", MFD_CLOEXEC)));
    if (in.fd < 0)
        return with_run(worker_failure(std::string("cannot hold the recording: ") + std::strerror(errno)));
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(in.fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return with_run(worker_failure(std::string("cannot hold the recording: ") + std::strerror(errno)));
        done += static_cast<size_t>(n);
    }
    if (::lseek(in.fd, 0, SEEK_SET) != 0)
        return with_run(worker_failure("cannot rewind the recording"));
    int out_pipe[2], err_pipe[2], status_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0)
        return with_run(worker_failure(std::string("cannot make a pipe: ") + std::strerror(errno)));
    fd_guard out_r(out_pipe[0]), out_w(out_pipe[1]);
    if (::pipe2(err_pipe, O_CLOEXEC) != 0)
        return with_run(worker_failure(std::string("cannot make a pipe: ") + std::strerror(errno)));
    fd_guard err_r(err_pipe[0]), err_w(err_pipe[1]);
    if (::pipe2(status_pipe, O_CLOEXEC) != 0)
        return with_run(worker_failure(std::string("cannot make a pipe: ") + std::strerror(errno)));
    fd_guard status_r(status_pipe[0]), status_w(status_pipe[1]);

    std::vector<std::string> args = {program, "--verify-one", "--data", data_dir, "--max-frames",
                                     std::to_string(limits.max_frames)};
    std::vector<std::string> env = child_environment();
    const std::vector<char*> argv = pointers(args);
    const std::vector<char*> envp = pointers(env);
    child_plan plan;
    plan.parent = ::getpid();
    plan.in = in.fd;
    plan.out = out_w.fd;
    plan.err = err_w.fd;
    plan.status = status_w.fd;
    plan.program = program.c_str();
    plan.argv = argv.data();
    plan.envp = envp.data();
    plan.filter.len = static_cast<unsigned short>(filter.code.size());
    plan.filter.filter = const_cast<sock_filter*>(filter.code.data());
    plan.cpu_seconds = static_cast<rlim_t>(limits.cpu_seconds > 0 ? limits.cpu_seconds : 1);
#ifndef KV_SANITIZED
    // AddressSanitizer reserves terabytes of shadow address space up front.
    if (limits.memory_mb > 0)
        plan.memory_bytes = static_cast<rlim_t>(limits.memory_mb) << 20;
#endif

    const int wall_seconds = limits.wall_seconds > 0 ? limits.wall_seconds : 1;
    const steady::time_point deadline = steady::now() + std::chrono::seconds(wall_seconds);
    // Room for all that is kept, made now: nothing from the fork to the
    // reaping allocates (or could throw and leave the child running).
    std::string answer, log;
    char buf[1 << 15];
    answer.reserve(MAX_ANSWER_BYTES);
    log.reserve(MAX_LOG_BYTES + sizeof buf);
    const pid_t pid = ::fork();
    if (pid < 0)
        return with_run(worker_failure(std::string("cannot start a process: ") + std::strerror(errno)));
    if (pid == 0)
        become_verifier(plan);
    ::setpgid(pid, pid);  // as the child does: whichever runs first
    in.reset();
    out_w.reset();
    err_w.reset();
    status_w.reset();
    for (int fd : {out_r.fd, err_r.fd, status_r.fd})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    char status_bytes[2 * sizeof(int)];
    size_t status_got = 0;
    bool timed_out = false, overflow = false, exited = false;
    while (out_r.fd >= 0 || err_r.fd >= 0 || status_r.fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
        if (left <= 0) {
            timed_out = true;
            break;
        }
        pollfd fds[3];
        int n = 0;
        for (int fd : {out_r.fd, err_r.fd, status_r.fd})
            if (fd >= 0)
                fds[n++] = pollfd{fd, POLLIN, 0};
        // Now and then a look at the child itself: one that is gone while
        // something it started holds the pipes ends the wait too.
        const int ready = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(left < 100 ? left : 100));
        if (ready < 0 && errno != EINTR)
            break;
        for (fd_guard* g : {&out_r, &err_r, &status_r}) {
            if (g->fd < 0)
                continue;
            const ssize_t got = ::read(g->fd, buf, sizeof buf);
            if (got == 0) {
                g->reset();
            } else if (got > 0) {
                if (g == &out_r) {
                    if (answer.size() + static_cast<size_t>(got) > MAX_ANSWER_BYTES)
                        overflow = true;
                    else
                        answer.append(buf, static_cast<size_t>(got));
                } else if (g == &err_r) {
                    keep_log(log, buf, static_cast<size_t>(got));
                } else {
                    const size_t take = std::min(sizeof status_bytes - status_got, static_cast<size_t>(got));
                    std::memcpy(status_bytes + status_got, buf, take);
                    status_got += take;
                }
            } else if (errno != EAGAIN && errno != EINTR) {
                g->reset();
            }
        }
        if (overflow)
            break;
        if (ready == 0 && child_exited(pid)) {
            exited = true;
            break;
        }
    }
    // Whatever is left of the child and anything it started ends here: the
    // group goes while the child, exited or not, still holds its number.
    if (!exited) {
        while (!timed_out && !overflow && !child_exited(pid)) {
            if (steady::now() >= deadline)
                timed_out = true;
            else
                ::poll(nullptr, 0, 5);
        }
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    pid_t reaped;
    do
        reaped = ::wait4(pid, &status, 0, &usage);
    while (reaped < 0 && errno == EINTR);
    if (reaped != pid)
        return with_run(worker_failure(std::string("lost the replaying process: ") + std::strerror(errno)));

    run_verdict v;
    v.detail = log;
    const double cpu_used = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const bool signalled = WIFSIGNALED(status);
    const int sig = signalled ? WTERMSIG(status) : 0;
    if (status_got == sizeof status_bytes) {
        int msg[2];
        std::memcpy(msg, status_bytes, sizeof msg);
        return with_run(worker_failure(std::string("the replaying process failed ") + step_name(msg[0]) + ": " +
                                       std::strerror(msg[1])));
    }
    if (sig == SIGXCPU || (sig == SIGKILL && cpu_used >= static_cast<double>(plan.cpu_seconds))) {
        v.reason = "it ran past the worker's limit of " + seconds_text(static_cast<int>(plan.cpu_seconds)) +
                   " of processor time";
    } else if (timed_out) {
        v.reason = "it ran past the worker's limit of " + seconds_text(wall_seconds);
    } else if (overflow) {
        v.reason = "the verifier gave no usable answer";
        v.detail = "it wrote more than " + std::to_string(MAX_ANSWER_BYTES) + " bytes";
    } else if (sig == SIGXFSZ) {
        v.reason = "replaying it wrote larger files than the worker allows";
    } else if (signalled) {
        v.reason = "replaying it crashed the game (" + signal_name(sig) + ")";
    } else if (WEXITSTATUS(status) != 0) {
        v.reason = "replaying it failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    } else if (answer.empty() || answer.back() != '\n' || answer.find('\n') != answer.size() - 1) {
        v.reason = "the verifier gave no usable answer";
    } else {
        answer.pop_back();
        v = verdict_from_json(answer);
        if (!log.empty() && !v.verified)
            v.detail += (v.detail.empty() ? "" : "\n") + log;
    }
    return with_run(v);
}

}  // namespace

run_verdict verify_sandboxed(const std::string& program, const std::string& text, const std::string& data_dir,
                             const verify_limits& limits)
{
    try {
        return sandboxed(program, text, data_dir, limits);
    } catch (const std::exception& e) {
        return worker_failure(e.what());
    }
}
