#include "io/native_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>

#include "kelvora/io/filesystem.h"
#include "runtime/win/wide.h"

namespace kelvora {

namespace {

std::wstring WinPath(const std::string& path) { return Widen(path); }

std::string SystemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? Narrow(text) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

void SetError(std::string* error, DWORD code)
{
    if (error) *error = SystemMessage(code);
}

bool WriteAll(HANDLE h, const void* data, int size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = 0;
        if (!WriteFile(h, p, DWORD(size), &n, nullptr) || n == 0) return false;
        p += n;
        size -= int(n);
    }
    return true;
}

}  // namespace

bool NativeExists(const std::string& path) { return GetFileAttributesW(WinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// NTFS and FAT ignore case themselves: the exact spelling already finds it.
std::string NativeFindIgnoringCase(const std::string&, const std::string&) { return {}; }

int NativeFileType(const std::string& path)
{
    if (path.empty()) return FILETYPE_NONE;
    const DWORD attributes = GetFileAttributesW(WinPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DEVICE)) return FILETYPE_NONE;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FILETYPE_DIR;
    // "NUL", "CON" and the other device names answer in every folder.
    HANDLE h = CreateFileW(WinPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FILETYPE_FILE;  // there, but locked away: still a file
    const bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    return disk ? FILETYPE_FILE : FILETYPE_NONE;
}

// Opened through the wide call, so that any name works, and refused when it
// is a pipe (which would wait for its other end); folders cannot be opened
// this way at all. Devices such as NUL are kept, as on other systems.
FILE* NativeOpenFile(const std::string& path, int readable, int writeable)
{
    DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
    int flags = _O_RDONLY;
    const char* how = "rb";
    if (readable && writeable) {
        access = GENERIC_READ | GENERIC_WRITE;
        flags = _O_RDWR;
        how = "r+b";
    } else if (writeable) {
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        flags = _O_WRONLY;
        how = "wb";
    }
    HANDLE h = CreateFileW(WinPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD type = GetFileType(h);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR) {
        CloseHandle(h);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* f = _fdopen(fd, how);
    if (!f) _close(fd);
    return f;
}

bool NativeFileWritable(const std::string& path)
{
    HANDLE h = CreateFileW(WinPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Access lists decide, and only trying tells: a scratch file that goes
// away when closed.
bool NativeFolderWritable(const std::string& path)
{
    if (NativeFileType(path) != FILETYPE_DIR) return false;
    const std::string probe = path + "/.kelvora-" + std::to_string(GetCurrentProcessId()) + ".probe";
    HANDLE h = CreateFileW(WinPath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

bool NativeMakeFolder(const std::string& path, std::string* error)
{
    if (CreateDirectoryW(WinPath(path).c_str(), nullptr)) return true;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS && NativeFileType(path) == FILETYPE_DIR) return true;
    SetError(error, code);
    return false;
}

namespace {

// Another program holds the file for a moment (a virus scanner or an indexer
// opening what was just written, a backup): worth waiting for.
bool Transient(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

// A failed write that set no reason (nothing written) still fails.
DWORD WriteFailure()
{
    const DWORD code = GetLastError();
    return code ? code : ERROR_WRITE_FAULT;
}

constexpr ULONGLONG kPatienceMs = 1000;
constexpr DWORD kPauseMs = 20;

// A name of this process's own beside the target, made here and now: never
// an existing file, link or folder that someone left under a likely name.
HANDLE CreateTemporary(const std::string& path, std::wstring& temp, DWORD& code)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem = path + "." + std::to_string(GetCurrentProcessId()) + "-";
    for (int tries = 0; tries < 100; ++tries) {
        temp = WinPath(stem + std::to_string(counter++) + ".tmp");
        // Not even a link left there is followed: it counts as taken.
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        code = GetLastError();
        if (h != INVALID_HANDLE_VALUE) {
            code = 0;
            return h;
        }
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    temp.clear();
    return INVALID_HANDLE_VALUE;
}

// A scanner that opened the new file may hold up its removal too.
void RemoveTemporary(const std::wstring& temp)
{
    const ULONGLONG until = GetTickCount64() + kPatienceMs;
    while (!DeleteFileW(temp.c_str()) && GetLastError() == ERROR_SHARING_VIOLATION && GetTickCount64() < until)
        Sleep(kPauseMs);
}

// The replace itself, waited for while another program holds the target or
// the new file; a read-only target is made writable once.
DWORD MoveIntoPlace(const std::wstring& temp, const std::wstring& target, DWORD& cleared_attributes)
{
    const ULONGLONG until = GetTickCount64() + kPatienceMs;
    for (;;) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
        const DWORD code = GetLastError();
        const DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return code;
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY) && cleared_attributes == INVALID_FILE_ATTRIBUTES &&
            SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
            cleared_attributes = attributes;
            continue;
        }
        if (!Transient(code) || GetTickCount64() >= until) return code;
        Sleep(kPauseMs);
    }
}

// The bytes over the old ones, the excess cut: for when no new file can
// take its place. Only a plain existing file, never what a link leads to.
DWORD WriteInPlace(const std::wstring& target, const void* data, int size)
{
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    BY_HANDLE_FILE_INFORMATION info{};
    DWORD code = 0;
    if (!GetFileInformationByHandle(h, &info) || GetFileType(h) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        code = ERROR_ACCESS_DENIED;
    else if (!WriteAll(h, data, size) || !SetEndOfFile(h) || !FlushFileBuffers(h))
        code = WriteFailure();
    CloseHandle(h);
    return code;
}

}  // namespace

// The new content goes to a file of its own beside the old one, written
// through to the disk, and then takes the old one's place in one step.
// Where that cannot be done (no new file may be made there, the disk is
// full, the old file stays held), the bytes go over the old ones instead.
char NativePathSeparator() { return '\\'; }

bool NativeReplaceFile(const std::string& path, const void* data, int size, std::string* error)
{
    const std::wstring target = WinPath(path);
    std::wstring temp;
    DWORD code = 0;
    DWORD cleared_attributes = INVALID_FILE_ATTRIBUTES;
    HANDLE h = CreateTemporary(path, temp, code);
    if (h != INVALID_HANDLE_VALUE) {
        if (!WriteAll(h, data, size) || !FlushFileBuffers(h)) code = WriteFailure();
        CloseHandle(h);
        if (code == 0) code = MoveIntoPlace(temp, target, cleared_attributes);
        if (code == 0) return true;
        RemoveTemporary(temp);
    }
    if (WriteInPlace(target, data, size) == 0) return true;
    // Left as the player had it.
    if (cleared_attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target.c_str(), cleared_attributes);
    SetError(error, code);
    return false;
}

}  // namespace kelvora
