// What the program shell does differently on each system (app/posix/,
// app/win/): its arguments, its console, its timers and scratch space.
#pragma once

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
