#include "clsRecordWriter.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string Reason(int error) { return std::strerror(error ? error : EIO); }

#ifdef _WIN32
int OpenForWriting(const std::string& path) {
    // UTF-8 names reach the system as UTF-16, whatever the code page.
    return ::_wopen(std::filesystem::u8path(path).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
long long WriteSome(int fd, const char* data, size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(size));
}
bool SyncFile(int fd) { return ::_commit(fd) == 0; }  // FlushFileBuffers
bool CutTo(int fd, long long size) { return ::_chsize_s(fd, size) == 0; }
bool SeekTo(int fd, long long offset) { return ::_lseeki64(fd, offset, SEEK_SET) == offset; }
int CloseFile(int fd) { return ::_close(fd); }
#else
int OpenForWriting(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

bool clsRecordWriter::Open(const std::string& path, std::string* error) {
    Close();
    errno = 0;
    m_fd = OpenForWriting(path);
    if (m_fd < 0) {
        if (error) *error = Reason(errno);
        return false;
    }
    m_path = path;
    m_lines = 0;
    m_bytes = 0;
    m_lastSyncMs = NowMs();
    m_unsynced = false;
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
    CloseFile(m_fd);
    m_fd = -1;
    if (m_bytes > 0) return false;
    // Only an empty regular file goes: a device written to stays.
    std::error_code error;
    const auto path = std::filesystem::u8path(m_path);
    if (std::filesystem::is_regular_file(path, error) && std::filesystem::file_size(path, error) == 0 && !error)
        return std::filesystem::remove(path, error);
    return false;
}
