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

// What a write does when the name is a symbolic link.
enum class Links {
    // Files the user keeps (KOV.ini, *.kov): a link the user owns is
    // followed, the file it leads to is replaced and the link stays. A link
    // owned by anybody else is refused (someone who may write to a shared
    // data folder must not steer the user's writes to other files).
    FollowOwn,
    // Files the program makes anew (the settings report): never followed;
    // the new file takes the name and a link there is gone.
    ReplaceLink,
};

// The file a write to `path` under Links::FollowOwn goes to: `path` itself,
// or the file its chain of links leads to when the user owns every link
// (POSIX; Windows follows links). False with `error` ("<path>: a link of
// another user, not followed") when a link in the chain belongs to someone
// else.
bool WriteTarget(const std::string& path, std::string* target, std::string* error = nullptr);

// Replaces (or creates) `path` with `content`: a temporary file beside it,
// flushed to the disk, renamed over it, and the folder flushed too, so that
// after a power cut the name holds the old or the new file, whole. A file
// that is replaced keeps its permissions and, where the process may set
// them, its owner and group. A file the user may not change (read-only, or
// no write permission for this user) is refused with "Permission denied".
// False on failure, with `error` (when given) saying why, e.g.
// "/data/$KVD$.txt: Permission denied"; the old file is then untouched.
bool ReplaceFile(const std::string& path, const std::string& content, std::string* error = nullptr,
                 Links links = Links::FollowOwn);

}  // namespace modSafeFile
