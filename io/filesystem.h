// File-system queries and the path normalisation every file operation applies.
#pragma once

#include <string>

// FileType results.
constexpr int FILETYPE_NONE = 0;
constexpr int FILETYPE_FILE = 1;
constexpr int FILETYPE_DIR = 2;

// A copy of path with "\" turned into "/", a network root ("//host") given
// its "/", and a drive-relative "C:dir" made "C:/dir". URLs ("proto::path")
// keep everything but their separators. forDirectory also drops a trailing
// "/" unless the path is a root.
std::string NormalizePath(const std::string& path, bool forDirectory = false);

// Where path really is on a case-sensitive file system: each component whose
// exact spelling does not exist is replaced by an entry of its directory that
// differs only in ASCII letter case (the first in byte order when several do).
// Components past the first that cannot be found are left as they are.
std::string ResolvePathCase(const std::string& path);

// FILETYPE_NONE when nothing is there or the path cannot be examined (also
// for any name containing "<" or ">"), FILETYPE_FILE, or FILETYPE_DIR.
int FileType(const std::string& path);
