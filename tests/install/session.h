// Running the real program and tools from the tests: shell commands for the
// tools, scratch folders, and programs under test started directly in a
// process group of their own, driven with xdotool one input at a time.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct command_result {
    int status = -1;
    std::string out;  // stdout and stderr together
};

// Runs a shell command (tools, never the program under test); status is the
// exit status (128 + signal when killed).
command_result run(const std::string& command);
std::string shq(const std::string& text);

// A fresh folder under the temporary directory, removed with everything in it.
struct scratch {
    explicit scratch(const std::string& name);
    ~scratch();
    fs::path dir;
};

// Files of 4 bytes (or any) as the game writes them.
std::vector<unsigned char> bytes_of(const fs::path& p);
void put_bytes(const fs::path& p, const std::vector<unsigned char>& b);
std::vector<unsigned char> int_bytes(int v);
// Owner and mode, as chown and chmod would set them.
void own(const fs::path& p, int uid, unsigned mode);

// The unprivileged user the installed program runs as (tests run as root,
// which ignores permissions): argv run through setpriv.
constexpr int NOBODY = 65534;
std::vector<std::string> as_nobody(std::vector<std::string> argv);

// The copied data/ of the source tree's sounds.
void copy_sounds(const fs::path& to);

// How a program under test starts: directly, with no shell between, so the
// process the test holds is the program.
struct launch {
    std::vector<std::string> argv;      // argv[0] is looked up on PATH when it has no '/'
    std::vector<std::string> env = {};  // NAME=VALUE, each replacing an inherited one
    std::string dir = {};               // working folder; the test's when empty
    std::string out = {};               // file for stdout, when given
    std::string err = {};               // file for stderr, when given (out's name: both together)
};

// One line of the program's state log (KELVORA3D_STATE_LOG).
struct frame_state {
    long frame = 0;
    int state = -1, score = 0, total = 0, best = 0, mode3d = 0, shots = 0;
};
std::ostream& operator<<(std::ostream& out, const frame_state& s);  // for failure messages
// The game's own state numbers; the logo has another.
constexpr int PLAY = 2, PAUSE = 3, TITLE = 4;
using frame_test = std::function<bool(const frame_state&)>;
inline frame_test in_state(int state)
{
    return [state](const frame_state& s) { return s.state == state; };
}

// A program under test in a process group of its own, its state log in a
// file of its own. The whole group is killed when the object goes, pass or
// fail. Limits are bounds for failure only: every wait ends on an effect.
class background {
public:
    explicit background(launch how);
    ~background();
    background(const background&) = delete;
    background& operator=(const background&) = delete;

    pid_t pid() const { return group_; }
    // The program's mapped window (found by its process, never by a name an
    // earlier program could have left); empty when none came.
    std::string wait_window(std::chrono::seconds limit = 60s);
    // Exit status, or -1 while it is still running after the limit.
    int wait_exit(std::chrono::seconds limit);
    bool running();

    // The latest frame the log shows.
    const frame_state& now();
    // Reads on from where the last wait stopped until a frame passes `done`;
    // false when the program ended or the limit passed first.
    bool wait_for(const frame_test& done, std::chrono::seconds limit = 60s);
    // Waits until `count` more frames were drawn.
    bool frames(long count, std::chrono::seconds limit = 60s);
    // Sends xdotool `args` and waits for their effect. With `again`, for an
    // input the game may drop by design, it is sent again once a generous
    // bound has passed with no effect, never sooner.
    bool input(const std::string& args, const frame_test& done, bool again = false);
    // Skips the logo with `key` once its first frame is drawn; false when
    // the title menu never came.
    bool to_title(const std::string& key = "space");
    // Skips the logo and quits from the title with Escape, each key once the
    // previous one took effect; the exit status, -1 when it never ended.
    int escape_until_exit();

private:
    bool read_line();

    pid_t pid_ = -1;    // -1 once reaped
    pid_t group_ = -1;  // the program's process group, its pid
    int status_ = -1;
    std::string display_;  // DISPLAY given in the launch, if any
    fs::path log_;
    std::streamoff read_ = 0;
    std::string pending_;
    frame_state last_;
};

// Runs a program under test to its end, as background does; status -1 when
// it was still running after the limit (and was killed).
command_result run_program(launch how, std::chrono::seconds limit = 120s);

// The file holds at least `size` bytes before the limit.
bool file_reaches(const fs::path& p, std::uintmax_t size, std::chrono::seconds limit = 60s);

bool have_display();
void xdo(const std::string& args);
