#include "clsRecordWriter.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>

#include "WindowsApi.h"
#include "modAPI.h"
#else
#include <unistd.h>
#endif

#include "modRecFile.h"

namespace {

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string Reason(int error) { return std::strerror(error ? error : EIO); }

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + "/" + name;
}

// The platform's side: a file descriptor for a file created new, moving a
// file over another, syncing, cutting, closing. Names are UTF-8.
#ifdef _WIN32
// A new file, opened so that it can be renamed while open (Replace) and
// never inherited by a child process. -1 and `why` when it cannot be made;
// `taken` when the name is in use.
int CreateNew(const std::string& path, bool* taken, std::string* why) {
    HANDLE h = CreateFileW(modAPI::Utf8ToWide(path).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *taken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        *why = *taken ? Reason(EEXIST) : modAPI::SystemErrorText(code);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        *taken = false;
        *why = Reason(EMFILE);
    }
    return fd;
}
// A new file beside `target`, for Replace.
int CreateBeside(const std::string& target, std::string* name, std::string* why) {
    const unsigned long stamp = GetTickCount() ^ (GetCurrentProcessId() << 16);
    bool taken = true;
    int fd = -1;
    for (unsigned long attempt = 0; fd < 0 && taken && attempt < 16; ++attempt) {
        *name = target + "." + std::to_string(stamp + attempt) + ".tmp";
        fd = CreateNew(*name, &taken, why);
    }
    return fd;
}
bool MoveOver(const std::string& from, const std::string& to, std::string* why) {
    if (MoveFileExW(modAPI::Utf8ToWide(from).c_str(), modAPI::Utf8ToWide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *why = modAPI::SystemErrorText(GetLastError());
    return false;
}
// Removes the empty file `path` that `fd` (still open) was created as.
void RemoveEmpty(int, const std::string& path) { DeleteFileW(modAPI::Utf8ToWide(path).c_str()); }
long long WriteSome(int fd, const char* data, size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(size));
}
bool SyncFile(int fd) { return ::_commit(fd) == 0; }  // FlushFileBuffers
bool CutTo(int fd, long long size) { return ::_chsize_s(fd, size) == 0; }
bool SeekTo(int fd, long long offset) { return ::_lseeki64(fd, offset, SEEK_SET) == offset; }
int CloseFile(int fd) { return ::_close(fd); }
#else
int CreateNew(const std::string& path, bool* taken, std::string* why) {
    // O_EXCL: never a file that is there, and a link there counts as there.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        *taken = errno == EEXIST;
        *why = Reason(errno);
    }
    return fd;
}
int CreateBeside(const std::string& target, std::string* name, std::string* why) {
    const std::filesystem::path path(target);
    const std::string pattern =
        (path.has_parent_path() ? path.parent_path() : std::filesystem::path("."))
            .append("." + path.filename().string() + ".XXXXXX")
            .string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);  // created new, as CreateNew does
    if (fd < 0) {
        *why = Reason(errno);
        return -1;
    }
    *name = buffer.data();
    // mkostemp makes it private (0600); a recording gets what a new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    return fd;
}
bool MoveOver(const std::string& from, const std::string& to, std::string* why) {
    if (::rename(from.c_str(), to.c_str()) != 0) {  // replaces a link at `to`, never follows it
        *why = Reason(errno);
        return false;
    }
    // The new name on the disk too.
    const std::filesystem::path target(to);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
// Removes `path` only while it is still the file `fd` is: never a file that
// someone else put under the name meanwhile.
void RemoveEmpty(int fd, const std::string& path) {
    struct stat mine {}, there {};
    if (::fstat(fd, &mine) == 0 && ::lstat(path.c_str(), &there) == 0 && mine.st_dev == there.st_dev &&
        mine.st_ino == there.st_ino)
        ::unlink(path.c_str());
}
long long WriteSome(int fd, const char* data, size_t size) { return ::write(fd, data, size); }
bool SyncFile(int fd) {
#if defined(__APPLE__)
    return ::fsync(fd) == 0;
#else
    return ::fdatasync(fd) == 0;
#endif
}
bool CutTo(int fd, long long size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }
bool SeekTo(int fd, long long offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == offset; }
int CloseFile(int fd) { return ::close(fd); }
#endif

}  // namespace

clsRecordWriter::~clsRecordWriter() { Close(); }

bool clsRecordWriter::Opened(int fd, const std::string& path, const std::string& writing) {
    m_fd = fd;
    m_path = path;
    m_writing = writing;
    m_lines = 0;
    m_bytes = 0;
    m_lastSyncMs = NowMs();
    m_unsynced = false;
    return true;
}

bool clsRecordWriter::Create(const std::string& path, std::string* error) {
    Close();
    bool taken = false;
    std::string why;
    const int fd = CreateNew(path, &taken, &why);
    if (fd < 0) {
        m_path = path;
        if (error) *error = why;
        return false;
    }
    return Opened(fd, path, path);
}

bool clsRecordWriter::CreateNext(const std::string& folder, std::string* error) {
    Close();
    for (int n = 1; n <= modRecFile::MaxFileNumber; ++n) {
        const std::string path = Join(folder, modRecFile::FileName(n));
        bool taken = false;
        std::string why;
        const int fd = CreateNew(path, &taken, &why);
        if (fd >= 0) return Opened(fd, path, path);
        if (!taken) {  // the folder refuses: every further number would too
            m_path = path;
            if (error) *error = why;
            return false;
        }
    }
    m_path = Join(folder, modRecFile::FileName(modRecFile::MaxFileNumber));
    if (error) *error = "no free file number left";
    return false;
}

bool clsRecordWriter::Replace(const std::string& path, std::string* error) {
    Close();
    std::string writing, why;
    const int fd = CreateBeside(path, &writing, &why);
    if (fd < 0) {
        m_path = path;
        if (error) *error = why;
        return false;
    }
    return Opened(fd, path, writing);
}

bool clsRecordWriter::PutInPlace(std::string* error) {
    std::string why;
    if (!MoveOver(m_writing, m_path, &why)) {
        if (error) *error = why;
        return false;
    }
    m_writing = m_path;
    return true;
}

bool clsRecordWriter::WriteLine(const std::string& line, std::string* error) {
    if (m_fd < 0) {
        if (error) *error = Reason(EBADF);
        return false;
    }
    m_buffer.assign(line);
    m_buffer += "\r\n";
    size_t done = 0;
    while (done < m_buffer.size()) {
        errno = 0;
        const long long n = WriteSome(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const int reason = n == 0 ? ENOSPC : errno;
        // Part of the line may be in the file: take it back out, so that the
        // file ends with the last whole line.
        if (done > 0 && CutTo(m_fd, m_bytes)) SeekTo(m_fd, m_bytes);
        if (error) *error = Reason(reason);
        return false;
    }
    m_bytes += static_cast<long long>(done);
    ++m_lines;
    m_unsynced = true;
    // Replace: the new file takes the old one's place with its first line.
    if (m_writing != m_path && !PutInPlace(error)) {
        CutTo(m_fd, 0);
        m_bytes = 0;
        m_lines = 0;
        Close();
        return false;
    }
    if (m_syncIntervalMs >= 0) {
        const double now = m_syncIntervalMs > 0 ? NowMs() : 0;
        if (m_syncIntervalMs == 0 || now - m_lastSyncMs >= m_syncIntervalMs) {
            if (!Sync()) {
                if (error) *error = Reason(errno);
                return false;
            }
            m_lastSyncMs = m_syncIntervalMs > 0 ? now : 0;
        }
    }
    return true;
}

bool clsRecordWriter::Sync() {
    if (m_fd < 0) return false;
    if (!m_unsynced) return true;
    errno = 0;
    if (!SyncFile(m_fd)) {
        // A file system without syncing (a pipe, some devices) is no failure.
        if (errno != EINVAL && errno != ENOTSUP && errno != EROFS) return false;
    }
    m_unsynced = false;
    return true;
}

bool clsRecordWriter::Close() {
    if (m_fd < 0) return false;
    Sync();
    // Only an empty file of our own goes (for Replace: the new file beside
    // the old one, which stays as it was).
    const bool remove = m_bytes == 0;
    if (remove) RemoveEmpty(m_fd, m_writing);
    CloseFile(m_fd);
    m_fd = -1;
    return remove;
}
