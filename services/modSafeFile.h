#pragma once
// Looking at a file before reading it, and replacing a file in one step:
// the new content goes to a temporary file beside it, is flushed to the disk
// and renamed over the old file, so that a failure (read-only folder, full
// disk) leaves the old file exactly as it was.
#include <cstdint>
#include <string>

#ifdef _WIN32
// <windows.h> maps the name ReplaceFile to its own function through a macro,
// which would rename the one below in every file that includes both. Taking
// it in here first (its guard keeps it from coming back) and dropping the
// macro keeps the name ours whatever the order of the includes.
#include "WindowsApi.h"
#undef ReplaceFile
#endif

namespace modSafeFile {

enum class FileState {
    Regular,      // a file (or a link to one)
    Missing,      // nothing there
    NotAFile,     // a folder, a device, a pipe...
    Unreachable,  // cannot be looked at (a folder on the way without access...)
};

struct FileInfo {
    FileState State = FileState::Missing;
    std::uintmax_t Size = 0;  // Regular only
    std::string Reason;       // Unreachable: the system's words
};

FileInfo Inspect(const std::string& path);

// Replaces (or creates) `path` with `content`. A link is followed: the file it
// points to is replaced and the link stays. The permissions of a replaced file
// are kept. False on failure, with `error` (when given) saying why, e.g.
// "/data/$KVD$.txt: Permission denied"; the old file is then untouched.
bool ReplaceFile(const std::string& path, const std::string& content, std::string* error = nullptr);

}  // namespace modSafeFile
