// What the program shell does differently on each system (app/posix/,
// app/win/): its arguments, its console, its timers and scratch space.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The command line after the program's name, as UTF-8 (Windows' "/?" as
// "--help").
std::vector<std::string> program_arguments(int argc, char** argv);

// Where --help, --version and the error lines go: a windowed Windows program
// has no console of its own and writes to the one it was started from.
void use_starting_console();

// Something the player must know that stops nothing (the sounds are
// missing), as one sentence: a message box on Windows, where a program
// started from the desktop has no console; the error stream elsewhere (and
// on Windows too), after the game's name.
void tell_player(const std::string& text);

// An error that ends the program, as one line: on the error stream (unless
// said there already), and on Windows in a message box too, as a program
// started from the desktop has no console (SDL's box needs no window).
void report_fatal(const std::string& text, bool said_on_stderr = false);

// Windows: window sizes and the full screen in the display's real pixels, not
// a picture the system stretches on a scaled desktop. Before the video starts.
void use_real_pixels();

// Sleeps and the millisecond clock as precise as the system allows for as
// long as the object lives (Windows' timer otherwise ticks every 15.6 ms).
class precise_timers {
public:
    precise_timers();
    ~precise_timers();
    precise_timers(const precise_timers&) = delete;
    precise_timers& operator=(const precise_timers&) = delete;

private:
    // Used by Windows only; clang warns about it elsewhere.
    [[maybe_unused]] bool raised_ = false;
};

// The folder is one where the system's administrator installs programs
// (Windows' Program Files), so the program counts as installed even when
// the one running it could write there.
bool in_system_programs_folder(const std::string& dir);

// A new empty private folder for temporary files; empty, with the reason in
// error, when none can be made.
std::string make_scratch_folder(std::string& error);

// An absolute path for one the player gave relative to the folder the
// program was started in.
std::string absolute_path(const std::string& path);

// Fills out with bytes from the system's cryptographic random source
// (getrandom, BCryptGenRandom); false when it gives none.
bool system_random_bytes(unsigned char* out, size_t size);

// Makes the file at path hold bytes, readable by the user alone (mode 0600
// on POSIX; on Windows the user's folders are private already), unless a
// file is there: the bytes are written and flushed to a new file beside it,
// which then takes the name in one step only if it is still free. So a
// reader sees no file or a whole one, and of two copies of the program
// making it at once, the first one's stays. 1 when written, 0 when a file
// was there, -1 with the reason in error when none could be made.
int create_private_file(const std::string& path, const std::string& bytes, std::string& error);
