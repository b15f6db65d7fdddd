#include "modSafeFile.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <algorithm>

#include "modAPI.h"
#include "WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace modSafeFile {
namespace {

#ifndef _WIN32
std::string SystemText(int err) { return std::generic_category().message(err); }
#endif

void SetError(std::string* error, const std::string& file, const std::string& why) {
    if (error) *error = file + ": " + why;
}

#ifndef _WIN32
// Whether the user may change the file `st` describes: some write permission
// must be set (root ignores the bits, but a file nobody may write to is one
// the user keeps from being changed), and this user must have it.
int RefusalOf(const fs::path& target, const struct stat& st) {
    if ((st.st_mode & 0222) == 0) return EACCES;
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    return 0;
}

// Flushes the folder's entries (the rename) to the disk. File systems that
// cannot do this for a folder say so; there is nothing more to do then.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// `existing`: what lstat said of the target (nullptr when nothing is there,
// or a link that the new file replaces).
bool WriteReplacing(const fs::path& target, const struct stat* existing, const std::string& content,
                    std::string* error) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (existing) {
        if (const int refused = RefusalOf(target, *existing)) {
            SetError(error, target.string(), SystemText(refused));
            return false;
        }
    }
    const std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());  // created new (O_EXCL), never through a link
    if (fd < 0) {
        SetError(error, folder.string(), SystemText(errno));
        return false;
    }
    const std::string tmp(name.data());
    bool ok = true;
    auto fail = [&](const std::string& file) {
        if (ok) SetError(error, file, SystemText(errno));  // the first failure is the one reported
        ok = false;
    };

    mode_t mode;
    if (existing) {
        // Owner and group first (changing them clears the set-id bits, which
        // the mode below puts back). Only root may give a file away; a user
        // may still give it a group of their own. What cannot be set stays
        // as the temporary file has it.
        if (::fchown(fd, existing->st_uid, existing->st_gid) != 0) ::fchown(fd, static_cast<uid_t>(-1), existing->st_gid);
        mode = existing->st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) fail(tmp);

    std::size_t done = 0;
    while (ok && done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0)
            fail(target.string());
        else
            done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) fail(target.string());
    if (::close(fd) != 0) fail(target.string());
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) fail(target.string());
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}
#else
// The Win32 road: the temporary file is created new (never an existing one),
// written, flushed to the disk with FlushFileBuffers and moved over the target
// with MoveFileExW, which replaces it in one step and returns only once the
// move itself is on the disk. Names go to the system as UTF-16.
bool WriteReplacing(const fs::path& target, const std::string& content, std::string* error) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const unsigned long stamp = GetTickCount() ^ (GetCurrentProcessId() << 16);
    // A read-only file is one the user keeps from being changed; the move
    // would replace it on some systems and not on others.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetError(error, target.u8string(), std::generic_category().message(EACCES));  // as on Linux
        return false;
    }
    DWORD openError = ERROR_FILE_EXISTS;
    for (unsigned long attempt = 0; attempt < 16; ++attempt) {
        const fs::path tmp =
            folder / (L"~" + target.filename().wstring() + L"." + std::to_wstring(stamp + attempt) + L".tmp");
        HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            openError = GetLastError();
            if (openError == ERROR_FILE_EXISTS || openError == ERROR_ALREADY_EXISTS) continue;
            break;
        }
        DWORD failure = 0;  // the first failure is the one reported
        std::size_t done = 0;
        while (failure == 0 && done < content.size()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
            DWORD written = 0;
            if (!WriteFile(h, content.data() + done, chunk, &written, nullptr))
                failure = GetLastError();
            else if (written == 0)
                failure = ERROR_DISK_FULL;
            else
                done += written;
        }
        if (failure == 0 && !FlushFileBuffers(h)) failure = GetLastError();
        if (!CloseHandle(h) && failure == 0) failure = GetLastError();
        if (failure == 0 &&
            !MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            failure = GetLastError();
        if (failure != 0) {
            DeleteFileW(tmp.c_str());
            SetError(error, target.u8string(), modAPI::SystemErrorText(failure));
            return false;
        }
        return true;
    }
    SetError(error, folder.u8string(), modAPI::SystemErrorText(openError));
    return false;
}
#endif

}  // namespace

FileInfo Inspect(const std::string& path) {
    FileInfo info;
    try {
        std::error_code ec;
        const fs::path p = fs::u8path(path);
        const auto status = fs::status(p, ec);
        if (status.type() == fs::file_type::not_found) return info;  // Missing
        if (ec) {
            info.State = FileState::Unreachable;
            info.Reason = ec.message();
            return info;
        }
        if (!fs::is_regular_file(status)) {
            info.State = FileState::NotAFile;
            return info;
        }
        info.Size = fs::file_size(p, ec);
        if (ec) {
            info.State = FileState::Unreachable;
            info.Reason = ec.message();
            return info;
        }
        info.State = FileState::Regular;
    } catch (const std::exception& e) {
        info.State = FileState::Unreachable;
        info.Reason = e.what();
    }
    return info;
}

bool WriteTarget(const std::string& path, std::string* target, std::string* error) {
    try {
        fs::path p = fs::u8path(path);
        std::error_code ec;
#ifdef _WIN32
        if (fs::is_symlink(fs::symlink_status(p, ec))) {
            p = fs::canonical(p, ec);
            if (ec) {
                SetError(error, path, ec.message());
                return false;
            }
        }
#else
        // Link by link, as the system would follow them.
        for (int hops = 0;; ++hops) {
            struct stat st {};
            if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
            if (hops == 40) {
                SetError(error, path, SystemText(ELOOP));
                return false;
            }
            if (st.st_uid != ::geteuid()) {
                SetError(error, path, p == fs::u8path(path) ? "a link of another user, not followed"
                                                            : "leads through a link of another user (" +
                                                                  p.string() + "), not followed");
                return false;
            }
            const fs::path next = fs::read_symlink(p, ec);
            if (ec) {
                SetError(error, path, ec.message());
                return false;
            }
            p = next.is_absolute() ? next : p.parent_path() / next;
        }
#endif
        if (target) *target = p.u8string();
        return true;
    } catch (const std::exception& e) {
        SetError(error, path, e.what());
        return false;
    }
}

bool ReplaceFile(const std::string& path, const std::string& content, std::string* error, Links links) {
    if (path.empty()) {
        if (error) *error = "no file named";
        return false;
    }
    try {
        std::string resolved = path;
        if (links == Links::FollowOwn && !WriteTarget(path, &resolved, error)) return false;
        const fs::path target = fs::u8path(resolved);
#ifdef _WIN32
        std::error_code ec;
        const auto status = links == Links::FollowOwn ? fs::status(target, ec) : fs::symlink_status(target, ec);
        if (!ec && status.type() != fs::file_type::not_found && status.type() != fs::file_type::symlink &&
            !fs::is_regular_file(status)) {
            SetError(error, path, fs::is_directory(status) ? "is a folder" : "not a file");
            return false;
        }
        return WriteReplacing(target, content, error);
#else
        struct stat st {};
        const bool there = ::lstat(target.c_str(), &st) == 0;
        if (there && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            SetError(error, path, S_ISDIR(st.st_mode) ? "is a folder" : "not a file");
            return false;
        }
        // A link left here is one the new file replaces (Links::ReplaceLink).
        return WriteReplacing(target, there && S_ISREG(st.st_mode) ? &st : nullptr, content, error);
#endif
    } catch (const std::exception& e) {
        SetError(error, path, e.what());
        return false;
    }
}

}  // namespace modSafeFile
