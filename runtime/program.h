// Program start-up and the uncaught-error exit shared by the game and every tool.
#pragma once

#include <functional>
#include <string>

// Exit status of a program that ended on an error nothing caught (-1 as a byte).
constexpr int EXIT_UNCAUGHT_ERROR = 255;

// The directory that holds the running program file, without a trailing "/".
std::string ProgramDirectory();

// Makes the program's own directory the working directory, so relative paths
// such as "data\hiscore.dat" resolve beside the program. Returns false when
// the directory cannot be found or entered; the working directory then stays.
bool EnterProgramDirectory();

// Runs body; an error that escapes it has its text written to stderr and
// gives EXIT_UNCAUGHT_ERROR. Otherwise body's result is returned.
int RunGuarded(const std::function<int()>& body);
