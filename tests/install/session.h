// Running the real program and tools from the tests: shell commands, scratch
// folders, a program started in the background and driven with xdotool.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct command_result {
    int status = -1;
    std::string out;  // stdout and stderr together
};

// Runs a shell command; status is the exit status (128 + signal when killed).
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
// which ignores permissions).
constexpr int NOBODY = 65534;
std::string as_nobody();

// The copied data/ of the source tree's sounds.
void copy_sounds(const fs::path& to);

// A program started in the background through the shell.
class background {
public:
    explicit background(const std::string& command);
    ~background();
    // The game window's id once it is mapped; empty when none came.
    std::string wait_window(std::chrono::seconds limit = std::chrono::seconds(30));
    // Exit status, or -1 while it is still running after the limit.
    int wait_exit(std::chrono::seconds limit);
    bool running();
    // Sends Escape until the program ends (the first one skips the logo, the
    // one on the title menu quits); its exit status, -1 when it never ended.
    int escape_until_exit();

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

bool have_display();
void xdo(const std::string& args);
