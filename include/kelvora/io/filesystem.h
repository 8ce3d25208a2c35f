/// @file
/// File-system queries and the path normalisation every file operation
/// applies. Paths are UTF-8 on every system, with "/" or "\" between folders.
#pragma once

#include <string>

namespace kelvora {

/// @name FileType results
/// @{
constexpr int FILETYPE_NONE = 0;  ///< Nothing there, or it cannot be examined
constexpr int FILETYPE_FILE = 1;  ///< A file
constexpr int FILETYPE_DIR = 2;   ///< A folder
/// @}

/// A copy of path with "\" turned into "/", a network root ("//host") given
/// its "/", and a drive-relative "C:dir" made "C:/dir". URLs ("proto::path")
/// keep everything but their separators. forDirectory also drops a trailing
/// "/" unless the path is a root.
std::string NormalizePath(const std::string& path, bool forDirectory = false);

/// The path as the system writes it, for messages: its separators the
/// system's own ("C:\\Games\\data" on Windows).
std::string SystemPathText(const std::string& path);

/// Where path really is on a case-sensitive file system: each component whose
/// exact spelling does not exist is replaced by an entry of its directory that
/// differs only in ASCII letter case (the first in byte order when several do).
/// Components past the first that cannot be found are left as they are.
/// Every file the engine opens goes through this, so "Data/Hiscore.dat"
/// finds "data/hiscore.dat".
std::string ResolvePathCase(const std::string& path);

/// What is at path: FILETYPE_NONE when nothing is there or the path cannot be
/// examined (also for any name containing "<" or ">"), FILETYPE_FILE, or
/// FILETYPE_DIR.
int FileType(const std::string& path);

/// Whether the file at path can be written: it is there and may be changed,
/// or the nearest folder above it that exists lets new files be made (so the
/// file can be made, or replaced, with the folders missing between).
bool CanWriteFile(const std::string& path);

/// Makes the folder and every missing one above it, private to the user where
/// the system has modes. False, with the system's reason in error, when one
/// cannot be made.
bool CreateFolders(const std::string& path, std::string* error = nullptr);

/// Gives the file exactly these bytes so that a crash or a full disk leaves
/// either the old content or the new, never a mix: they are written to a file
/// beside it and flushed to the disk, which then replaces the old one in one
/// step. Where no new file can be made but the file itself may be changed,
/// the bytes go over the old ones in place. False, with the system's reason
/// in error, when it cannot be written.
bool ReplaceFileContents(const std::string& path, const void* data, int size, std::string* error = nullptr);

}  // namespace kelvora
