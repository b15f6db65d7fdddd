#include "modSafeFile.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace modSafeFile {
namespace {

std::string SystemText(int err) { return std::generic_category().message(err); }

void SetError(std::string* error, const std::string& file, const std::string& why) {
    if (error) *error = file + ": " + why;
}

#ifndef _WIN32
bool WriteReplacing(const fs::path& target, const std::string& content, std::string* error) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
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

    struct stat st {};
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
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
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}
#else
bool WriteReplacing(const fs::path& target, const std::string& content, std::string* error) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const unsigned long stamp = GetTickCount() ^ (GetCurrentProcessId() << 16);
    int openError = 0;
    for (unsigned long attempt = 0; attempt < 16; ++attempt) {
        const fs::path tmp =
            folder / (L"~" + target.filename().wstring() + L"." + std::to_wstring(stamp + attempt) + L".tmp");
        FILE* f = _wfopen(tmp.c_str(), L"wbx");
        if (!f) {
            openError = errno;
            if (openError == EEXIST) continue;
            break;
        }
        std::string why;
        bool ok = std::fwrite(content.data(), 1, content.size(), f) == content.size();
        if (!ok) why = SystemText(errno);
        if (std::fflush(f) != 0 || _commit(_fileno(f)) != 0) {
            if (ok) why = SystemText(errno);
            ok = false;
        }
        if (std::fclose(f) != 0) {
            if (ok) why = SystemText(errno);
            ok = false;
        }
        if (ok && !MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            why = std::system_category().message(static_cast<int>(GetLastError()));
            ok = false;
        }
        if (!ok) {
            std::error_code ec;
            fs::remove(tmp, ec);
            SetError(error, target.u8string(), why);
        }
        return ok;
    }
    SetError(error, folder.u8string(), SystemText(openError ? openError : EEXIST));
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

bool ReplaceFile(const std::string& path, const std::string& content, std::string* error) {
    if (path.empty()) {
        if (error) *error = "no file named";
        return false;
    }
    try {
        fs::path target = fs::u8path(path);
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(target, ec))) {
            target = fs::canonical(target, ec);
            if (ec) {
                SetError(error, path, ec.message());
                return false;
            }
        }
        const auto status = fs::status(target, ec);
        if (!ec && status.type() != fs::file_type::not_found && !fs::is_regular_file(status)) {
            SetError(error, path, fs::is_directory(status) ? "is a folder" : "not a file");
            return false;
        }
        return WriteReplacing(target, content, error);
    } catch (const std::exception& e) {
        SetError(error, path, e.what());
        return false;
    }
}

}  // namespace modSafeFile
