// The few file calls that differ between systems, one backend each
// (io/posix/, io/win/). Paths are UTF-8 with "/" separators, normalised and
// matched for case by the caller.
#pragma once

#include <cstdio>
#include <string>

namespace kelvora {

// Anything is there (a link counts, followed or not).
bool NativeExists(const std::string& path);
// The entry of dir spelt like name but for ASCII case, the first in byte
// order; empty when none, or when the file system ignores case anyway.
std::string NativeFindIgnoringCase(const std::string& dir, const std::string& name);
// FILETYPE_NONE, FILETYPE_FILE or FILETYPE_DIR (see filesystem.h).
int NativeFileType(const std::string& path);
// A buffered handle on a file or a device that can be read or written
// without waiting for a peer; null for a folder, a pipe or a socket and for
// whatever cannot be opened. Both: "r+b"; writeable only: "wb"; else "rb".
FILE* NativeOpenFile(const std::string& path, int readable, int writeable);
// The existing file may be changed by this user.
bool NativeFileWritable(const std::string& path);
// New files may be made in the existing folder.
bool NativeFolderWritable(const std::string& path);
// Makes one folder, private to the user where the system has modes; true
// when it exists afterwards.
bool NativeMakeFolder(const std::string& path, std::string* error);
// The separator the system writes in paths ('\\' on Windows).
char NativePathSeparator();
// See ReplaceFileContents.
bool NativeReplaceFile(const std::string& path, const void* data, int size, std::string* error);

}  // namespace kelvora
