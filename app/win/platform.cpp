#include "app/platform.h"

#include <windows.h>
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/saves_folder.h"
#include "runtime/win/wide.h"

using namespace kelvora;

namespace {

std::string forward_slashes(std::string path)
{
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

// A standard handle that leads somewhere (a file, a pipe, a console).
bool usable(DWORD which)
{
    HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

std::string known_folder(REFKNOWNFOLDERID id)
{
    wchar_t* path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK) folder = forward_slashes(Narrow(path));
    CoTaskMemFree(path);
    return folder;
}

// dir is folder or lies inside it, letter case aside.
bool within(const std::string& dir, const std::string& folder)
{
    if (folder.empty() || dir.size() < folder.size()) return false;
    if (dir.size() > folder.size() && dir[folder.size()] != '/') return false;
    const std::wstring a = Widen(dir.substr(0, folder.size())), b = Widen(folder);
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

// The C library's argv is in the ANSI code page, which cannot spell every
// name: the wide command line, split by the system's rules, instead.
std::vector<std::string> program_arguments(int, char**)
{
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 1; i < count; ++i)
        args.push_back(std::wcscmp(wide[i], L"/?") == 0 ? "--help" : Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

// The code page of the console borrowed, given back as the program ends: the
// command prompt's later programs expect their own.
static UINT console_code_page = 0;

void use_starting_console()
{
    // Redirected output stays where it was sent.
    const bool out = usable(STD_OUTPUT_HANDLE), err = usable(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
    console_code_page = GetConsoleOutputCP();
    if (console_code_page == 0 || !SetConsoleOutputCP(CP_UTF8)) return;
    std::atexit([] {
        std::fflush(stdout);
        std::fflush(stderr);
        SetConsoleOutputCP(console_code_page);
    });
}

// Also on the error stream, for a console or a log the output was sent to.
void tell_player(const std::string& text)
{
    std::fprintf(stderr, "Kelvora 3D: %s\n", text.c_str());
    MessageBoxW(nullptr, Widen(text).c_str(), L"Kelvora 3D", MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

void report_fatal(const std::string& text, bool said_on_stderr)
{
    if (!said_on_stderr) std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    // The box has the game's name as its title already.
    std::string shown = text;
    for (const char* name : {"Kelvora 3D: ", "kelvora3d: "})
        if (shown.rfind(name, 0) == 0) shown.erase(0, std::strlen(name));
    MessageBoxW(nullptr, Widen(shown).c_str(), L"Kelvora 3D", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

// Per-monitor v2 as the manifest says (SDL asks again, harmless), and SDL's
// sizes left in pixels: its DPI scaling would make a 640x480 window 960x720
// at 150 %, a picture at an uneven scale.
void use_real_pixels()
{
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_SCALING, "0");
}

precise_timers::precise_timers() : raised_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

precise_timers::~precise_timers()
{
    if (raised_) timeEndPeriod(1);
}

std::string make_scratch_folder(std::string& error)
{
    wchar_t base[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH) {
        error = "no folder for temporary files";
        return {};
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = std::wstring(base) + L"kelvora3d-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(folder.c_str(), nullptr)) return forward_slashes(Narrow(folder));
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    error = "cannot make a folder for temporary files";
    return {};
}

std::string absolute_path(const std::string& path)
{
    if (path.empty()) return path;
    const std::wstring wide = Widen(path);
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return path;
    full.resize(got);
    return forward_slashes(Narrow(full));
}

bool in_system_programs_folder(const std::string& dir)
{
    return within(dir, known_folder(FOLDERID_ProgramFiles)) || within(dir, known_folder(FOLDERID_ProgramFilesX86));
}

std::string user_saves_folder()
{
    const std::string roaming = known_folder(FOLDERID_RoamingAppData);
    return roaming.empty() ? roaming : roaming + "/Kelvora3D";
}

const char* user_saves_folder_name() { return "%APPDATA%\\Kelvora3D"; }

bool system_random_bytes(unsigned char* out, size_t size)
{
    while (size > 0) {
        const ULONG step = size > 0x10000 ? 0x10000 : ULONG(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, step, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
        out += step;
        size -= step;
    }
    return true;
}

int create_private_file(const std::string& path, const std::string& bytes, std::string& error)
{
    const std::wstring target = Widen(path);
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + L".tmp";
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot make a file beside " + path + " (error " + std::to_string(GetLastError()) + ")";
        return -1;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size() &&
              FlushFileBuffers(file);
    DWORD code = ok ? 0 : GetLastError();
    CloseHandle(file);
    int made = -1;
    // Without MOVEFILE_REPLACE_EXISTING the move takes the name only while it is free.
    if (ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        made = 1;
    } else {
        if (ok) code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) made = 0;
        DeleteFileW(temp.c_str());
    }
    if (made < 0) error = "cannot write " + path + " (error " + std::to_string(code) + ")";
    return made;
}
