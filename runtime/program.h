// Program start-up and the uncaught-error exit shared by the game and every tool.
#pragma once

#include <functional>
#include <string>

namespace kelvora {

// Exit status of a program that ended on an error nothing caught (-1 as a byte).
constexpr int EXIT_UNCAUGHT_ERROR = 255;

// The running program file, as a UTF-8 path with "/" separators; empty
// when the system cannot tell.
std::string ProgramPath();
// The directory that holds the running program file, without a trailing "/".
std::string ProgramDirectory();
// Makes dir (UTF-8) the working directory; false when it cannot be entered.
bool SetWorkingDirectory(const std::string& dir);

// Makes the program's own directory the working directory, so relative paths
// such as "data\hiscore.dat" resolve beside the program. Returns false when
// the directory cannot be found or entered; the working directory then stays.
bool EnterProgramDirectory();

// Where a program's files are. A portable tree (the build folder, an
// unpacked archive) has data/ beside the program; an installed program in
// PREFIX/bin or PREFIX/games finds it in PREFIX/share/<name>/data.
struct TProgramLayout {
    std::string program_dir;
    std::string files_dir;   // the folder that holds data/
    bool installed = false;  // files_dir is the shared folder, not program_dir
};
TProgramLayout FindProgramLayout(const std::string& program_dir, const std::string& name);

// Enters the folder that holds the program's data/, so "data\..." paths
// resolve in a portable tree and an installed one alike. False (working
// directory unchanged) when the program's own directory is unknown.
bool EnterFilesDirectory(const std::string& name, TProgramLayout* layout = nullptr);

// Runs body; an error that escapes it has its text written to stderr and
// gives EXIT_UNCAUGHT_ERROR. Otherwise body's result is returned.
int RunGuarded(const std::function<int()>& body);

}  // namespace kelvora
